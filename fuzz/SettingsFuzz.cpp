// libFuzzer target: any bytes as tonwright.ini. The load must neither crash nor hang; what it
// reads without falling back to Setup must survive a save and a second load; and the LoadMode
// number must agree with the C library's reading wherever that one is exact enough to judge.

#include "settings/Settings.h"
#include "tests/settings/SettingsFakes.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

const std::wstring iniPath = L"C:\\TONWRITE\\tonwright.ini";

// A Dir1 that can show any folder except those with a "?" in them.
class FuzzHost : public tw::testing::FakeHost {
public:
    bool setDirPath(const std::wstring& path) override {
        if (path.find(L'?') != std::wstring::npos)
            return false;
        dir1 = path;
        return true;
    }
};

void check(bool condition) {
    if (!condition)
        std::abort();
}

// LoadMode by way of wcstold and the current rounding mode (to nearest, ties to even), for
// short texts made of number characters only: there long double holds every digit that can
// decide a half.
void compareWithLibraryReading(const std::wstring& line) {
    if (line.size() < 11)
        return;
    std::wstring stripped;
    for (const wchar_t c : line.substr(11))
        if (c != L' ' && c != L'\t' && c != L'\n')
            stripped.push_back(c);
    if (stripped.size() > 16 ||
        stripped.find_first_not_of(L"0123456789+-.eE") != std::wstring::npos)
        return;
    wchar_t* end = nullptr;
    const long double value = std::wcstold(stripped.c_str(), &end);
    const long double rounded = std::nearbyintl(value);
    const std::optional<std::int16_t> expected =
        std::isfinite(rounded) && rounded >= -32768.0L && rounded <= 32767.0L
            ? std::optional<std::int16_t>(static_cast<std::int16_t>(rounded))
            : std::nullopt;
    check(tw::readLoadMode(line.substr(11)) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tw::testing::SettingsMachine platform;
    platform.files[iniPath] = std::string(reinterpret_cast<const char*>(data), size);

    FuzzHost first;
    tw::loadSettings(platform, first);
    check(first.label1 == first.appState.Destination);

    const std::wstring text = platform.fromEightBit(platform.files[iniPath]);
    tw::SettingsLineReader reader(text);
    for (int i = 0; i < 6; ++i)
        if (const auto line = reader.readLine(); line && i == 5)
            compareWithLibraryReading(*line);

    if (first.setupOpened != 0)
        return 0;
    // A file that read through gives the same values back after a save.
    check(tw::saveSettings(platform, first).ok);
    FuzzHost second;
    tw::loadSettings(platform, second);
    const std::int16_t mode = first.appState.LoadMode;
    if (mode == -32768) { // written as "-32768", read back as 32768: out of range
        check(second.setupOpened == 1);
        return 0;
    }
    check(second.setupOpened == 0);
    check(second.appState.DecoderPath == first.appState.DecoderPath);
    check(second.dir1 == first.dir1);
    check(second.appState.Destination == first.appState.Destination);
    // The sign takes the place of the blank that the reader skips.
    check(second.appState.LoadMode == (mode < 0 ? -mode : mode));
    return 0;
}
