#include "Script.h"

#include "platform/DrivePath.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdint>

namespace tw::console {

namespace {

// A caret that ends the line outside quotes escapes the line end: the next line goes on this one.
bool continuesOnNextLine(const std::wstring& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == L'"')
            quoted = !quoted;
        else if (line[i] == L'^' && !quoted && ++i == line.size())
            return true;
    }
    return false;
}

} // namespace

bool isBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

bool sameNameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return text::foldCase(x) == text::foldCase(y); });
}

bool isBuiltIn(const std::wstring& word) {
    for (const wchar_t* name : {L"REM", L"REN", L"RENAME", L"DEL", L"ERASE", L"IF"})
        if (sameNameIgnoringCase(word, name))
            return true;
    return false;
}

std::wstring visible(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code < 0x20 || code == 0x7F) {
            shown += L'^';
            shown += static_cast<wchar_t>(code ^ 0x40);
        } else if (code >= 0x80 && code < 0xA0) {
            shown += L"^[";
            shown += static_cast<wchar_t>(code - 0x40);
        } else {
            shown += c;
        }
    }
    return shown;
}

bool readWord(const std::wstring& line, std::size_t& pos, std::wstring& word) {
    word.clear();
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    bool started = false;
    bool quoted = false;
    for (; pos < line.size(); ++pos) {
        const wchar_t c = line[pos];
        if (quoted) {
            if (c == L'"')
                quoted = false;
            else
                word.push_back(c);
        } else if (isBlank(c)) {
            break;
        } else if (c == L'"') {
            quoted = true;
            started = true;
        } else if (c == L'^') {
            // A caret at the end of the line escapes nothing and is dropped.
            if (pos + 1 < line.size()) {
                word.push_back(line[++pos]);
                started = true;
            }
        } else {
            word.push_back(c);
            started = true;
        }
    }
    return started;
}

std::wstring collapsePercents(const std::wstring& line) {
    std::wstring result;
    result.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        result.push_back(line[i]);
        if (line[i] == L'%' && i + 1 < line.size() && line[i + 1] == L'%')
            ++i;
    }
    return result;
}

std::vector<std::wstring> splitWords(const std::wstring& line) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (std::size_t pos = 0; readWord(line, pos, word);)
        words.push_back(word);
    return words;
}

bool isDrivePath(const std::wstring& word) {
    return hasDriveLetter(word) && word.size() >= 3 && word[2] == L'\\';
}

bool isRootedOnCurrentDrive(const std::wstring& word) {
    return !word.empty() && word[0] == L'\\' && (word.size() == 1 || word[1] != L'\\');
}

ScriptLines::ScriptLines(const std::string& bytes, Decode decode)
    : m_bytes(bytes), m_decode(decode) {}

std::wstring ScriptLines::rawLine() {
    std::size_t end = m_bytes.find('\n', m_start);
    if (end == std::string::npos)
        end = m_bytes.size();
    std::string line = m_bytes.substr(m_start, end - m_start);
    m_start = end + 1;
    // The console drops every CR, the one of CR LF and any other.
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    return m_decode(line);
}

bool ScriptLines::next(std::wstring& line) {
    if (m_start >= m_bytes.size())
        return false;
    line = rawLine();
    while (continuesOnNextLine(line) && m_start < m_bytes.size()) {
        line.pop_back();
        line += rawLine();
    }
    return true;
}

PreparedLine prepareLine(const std::wstring& line) {
    PreparedLine prepared;
    std::size_t first = 0;
    while (first < line.size() && isBlank(line[first]))
        ++first;
    std::wstring text = line.substr(first);
    if (!text.empty() && text[0] == L'@') {
        prepared.echo = false;
        text.erase(0, 1);
    }
    // Labels and "::" comments are neither shown nor run.
    if (text.empty() || text[0] == L':')
        return prepared;
    prepared.text = collapsePercents(text);
    return prepared;
}

} // namespace tw::console
