#include "Settings.h"

#include "platform/Platform.h"

#include <exception>

namespace tw {

namespace {

// Where each value starts on its line: the key, a blank, "=", a blank (LoadMode's own blank is
// the sign position of the number).
constexpr std::size_t decoderPathSkip = 14; // "DecoderPath = "
constexpr std::size_t lastPathSkip = 11;    // "LastPath = "
constexpr std::size_t destinationSkip = 14; // "Destination = "
constexpr std::size_t loadModeSkip = 11;    // "LoadMode =" and the sign position

// No line the save writes is longer than the longest path a drive can hold with its key; a
// longer one is damage. Nothing past six such lines (in UTF-8, up to four bytes a character)
// is ever needed, so a file of any size costs no more than that to read.
constexpr std::size_t longestLine = 32767 + 16;
constexpr std::size_t mostBytesRead = 6 * (4 * longestLine + 2);

constexpr bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// Reads the six lines in their order: false at the first thing that cannot be read;
// everything taken before that stays in the state.
bool readSettingsFile(const Platform& platform, SettingsHost& host) {
    AppState& state = host.state();
    std::string bytes;
    if (!platform.readFile(state.AppPath + std::wstring(settingsFileName), bytes, mostBytesRead))
        return false;
    const std::wstring text = platform.fromEightBit(bytes);
    SettingsLineReader reader(text);

    auto nextLine = [&reader]() -> std::optional<std::wstring> {
        std::optional<std::wstring> line = reader.readLine();
        return line && line->size() <= longestLine ? line : std::nullopt;
    };
    auto valueOfNextLine = [&nextLine](std::size_t skip) -> std::optional<std::wstring> {
        const std::optional<std::wstring> line = nextLine();
        return line ? valueAfter(*line, skip) : std::nullopt;
    };

    if (!nextLine()) // [Directories]: any text
        return false;
    const auto decoderPath = valueOfNextLine(decoderPathSkip);
    if (!decoderPath)
        return false;
    state.DecoderPath = *decoderPath;

    const auto lastPath = valueOfNextLine(lastPathSkip);
    if (!lastPath || !host.setDirPath(*lastPath))
        return false;

    const auto destination = valueOfNextLine(destinationSkip);
    if (!destination)
        return false;
    state.Destination = *destination;

    if (!nextLine()) // [Switches]: any text
        return false;
    const auto loadModeValue = valueOfNextLine(loadModeSkip);
    if (!loadModeValue)
        return false;
    const std::optional<std::int16_t> loadMode = readLoadMode(*loadModeValue);
    if (!loadMode)
        return false;
    state.LoadMode = *loadMode;
    return true;
}

} // namespace

std::optional<std::wstring> SettingsLineReader::readLine() {
    if (m_pos >= m_text.size())
        return std::nullopt;
    const std::size_t end = m_text.find(L'\r', m_pos);
    if (end == std::wstring_view::npos) {
        std::wstring line(m_text.substr(m_pos));
        m_pos = m_text.size();
        return line;
    }
    std::wstring line(m_text.substr(m_pos, end - m_pos));
    m_pos = end + 1;
    if (m_pos < m_text.size() && m_text[m_pos] == L'\n')
        ++m_pos;
    return line;
}

std::optional<std::wstring> valueAfter(const std::wstring& line, std::size_t count) {
    if (line.size() < count)
        return std::nullopt;
    return line.substr(count);
}

namespace {

// A number as its text gives it: sign, digits and a power of ten, kept as text so that no length
// of digits and no exponent can overflow or lose the half that decides the rounding.
struct DecimalText {
    bool negative = false;
    std::string digits;
    std::int64_t exponent10 = 0; // the value is digits x 10^exponent10
    bool any = false;            // whether there was a digit before the exponent at all
};

std::wstring withoutBlanks(std::wstring_view text) {
    std::wstring t;
    t.reserve(text.size());
    for (const wchar_t c : text)
        if (c != L' ' && c != L'\t' && c != L'\n')
            t.push_back(c);
    return t;
}

// The exponent after "E" or "e" at t[i], or 0 when no digits follow it.
std::int64_t readExponent(const std::wstring& t, std::size_t i) {
    bool negative = false;
    if (i < t.size() && (t[i] == L'+' || t[i] == L'-')) {
        negative = t[i] == L'-';
        ++i;
    }
    // Far beyond any digit count a text can hold; saturating keeps it exact enough.
    constexpr std::int64_t limit = 1'000'000'000'000;
    std::int64_t exponent = 0;
    for (; i < t.size() && isDigit(t[i]); ++i)
        if (exponent < limit)
            exponent = exponent * 10 + (t[i] - L'0');
    return negative ? -exponent : exponent;
}

// Sign, digits, a point and more digits, an exponent: as far as the text follows that form.
DecimalText readDecimal(const std::wstring& t) {
    DecimalText number;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == L'+' || t[i] == L'-')) {
        number.negative = t[i] == L'-';
        ++i;
    }
    for (; i < t.size() && isDigit(t[i]); ++i) {
        number.digits.push_back(static_cast<char>(t[i]));
        number.any = true;
    }
    if (i < t.size() && t[i] == L'.') {
        for (++i; i < t.size() && isDigit(t[i]); ++i) {
            number.digits.push_back(static_cast<char>(t[i]));
            --number.exponent10;
            number.any = true;
        }
    }
    if (number.any && i < t.size() && (t[i] == L'E' || t[i] == L'e'))
        number.exponent10 += readExponent(t, i + 1);
    return number;
}

// The whole number nearest to the value, halves to the even one; nothing beyond 16 bits.
std::optional<std::int16_t> roundToInt16(DecimalText number) {
    std::string& digits = number.digits;
    const std::size_t firstSignificant = digits.find_first_not_of('0');
    if (firstSignificant == std::string::npos)
        return std::int16_t{0};
    digits.erase(0, firstSignificant);

    // Digits before the decimal point once the exponent is applied.
    const std::int64_t integerDigits = static_cast<std::int64_t>(digits.size()) + number.exponent10;
    if (integerDigits > 5) // 100000 or more
        return std::nullopt;
    if (integerDigits < 0) // below 0.1
        return std::int16_t{0};

    const std::size_t integerLength = static_cast<std::size_t>(integerDigits);
    std::int32_t whole = 0;
    for (std::size_t k = 0; k < integerLength; ++k)
        whole = whole * 10 + (k < digits.size() ? digits[k] - '0' : 0);
    if (integerLength < digits.size()) {
        const int firstFraction = digits[integerLength] - '0';
        const bool restNonZero =
            digits.find_first_not_of('0', integerLength + 1) != std::string::npos;
        if (firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1)))
            ++whole;
    }
    const std::int32_t result = number.negative ? -whole : whole;
    if (result < -32768 || result > 32767)
        return std::nullopt;
    return static_cast<std::int16_t>(result);
}

} // namespace

std::optional<std::int16_t> readLoadMode(std::wstring_view text) {
    const DecimalText number = readDecimal(withoutBlanks(text));
    if (!number.any)
        return std::int16_t{0};
    return roundToInt16(number);
}

std::wstring loadModeText(std::int16_t value) {
    return value < 0 ? std::to_wstring(value) : L" " + std::to_wstring(value);
}

std::wstring settingsFileText(const AppState& state, const std::wstring& lastPath) {
    std::wstring text;
    auto line = [&text](const std::wstring& content) { text += content + L"\r\n"; };
    line(L"[Directories]");
    line(L"DecoderPath = " + state.DecoderPath);
    line(L"LastPath = " + lastPath);
    line(L"Destination = " + state.Destination);
    line(L"[Switches]");
    line(L"LoadMode =" + loadModeText(state.LoadMode));
    return text;
}

void loadSettings(const Platform& platform, SettingsHost& host) {
    AppState& state = host.state();
    const std::wstring settingsDirectory = platform.settingsDirectory();
    state.AppPath = !settingsDirectory.empty() && settingsDirectory.back() == L'\\'
                        ? settingsDirectory
                        : settingsDirectory + L"\\";
    // The root of Drive1's drive on Windows; folders the user may write where that root is
    // not (on POSIX it is the root of the whole file system).
    const Platform::FirstRunFolders start =
        platform.firstRunFolders(host.driveText().substr(0, 2) + L"\\");
    state.DecoderPath = start.decoder;
    state.Destination = start.output;

    bool read = false;
    try {
        read = readSettingsFile(platform, host);
    } catch (const std::exception&) {
        read = false; // out of memory on a monstrous file: treated like any damaged file
    }
    if (!read)
        host.Setup_Click();
    host.setLabel1(state.Destination);
}

Status saveSettings(Platform& platform, SettingsHost& host) {
    const AppState& state = host.state();
    const std::wstring path = state.AppPath + std::wstring(settingsFileName);
    Status written;
    try {
        written = platform.replaceFile(
            path, platform.toEightBit(settingsFileText(state, host.dirPath())));
    } catch (const std::exception&) {
        written = Status::failure(L"out of memory");
    }
    if (written)
        return written;
    std::wstring message = L"The settings could not be saved.\n";
    if (written.message.find(path) == std::wstring::npos)
        message += path + L": ";
    return Status::failure(message + written.message);
}

} // namespace tw
