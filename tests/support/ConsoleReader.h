#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace tw::test {

// Reads one batch line the way the console does for the commands Decode writes: "%%" is one
// "%", "^x" outside quotes is x, double quotes group and are dropped, blanks and , ; = outside
// quotes separate arguments. Anything the console would act on instead of passing on (a lone
// "%", an unescaped & | < > ( ), a caret at the end) throws, so a test sees it.
inline std::vector<std::wstring> consoleArguments(const std::wstring& line) {
    std::vector<std::wstring> arguments;
    std::wstring current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (c == L'%') {
            if (i + 1 >= line.size() || line[i + 1] != L'%')
                throw std::runtime_error("a lone % would expand a variable");
            current += L'%';
            inArgument = true;
            ++i;
        } else if (c == L'"') {
            quoted = !quoted;
            inArgument = true;
        } else if (quoted) {
            current += c;
        } else if (c == L'^') {
            if (i + 1 >= line.size())
                throw std::runtime_error("a caret at the end continues the line");
            current += line[++i];
            inArgument = true;
        } else if (std::wstring(L"&|<>()").find(c) != std::wstring::npos) {
            throw std::runtime_error("an unescaped console operator");
        } else if (std::wstring(L" ,;=").find(c) != std::wstring::npos) {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        throw std::runtime_error("an unclosed quote");
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

// The lines of a script, split at CR LF; a line not ended by CR LF throws.
inline std::vector<std::wstring> scriptLines(const std::wstring& script) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < script.size()) {
        const std::size_t end = script.find(L"\r\n", start);
        if (end == std::wstring::npos)
            throw std::runtime_error("a line without CR LF");
        lines.push_back(script.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace tw::test
