// L3DEC.EXE for tests that run TEMP.BAT through the real cmd.exe: appends its arguments, as it
// got them, to the file TW_DECODER_LOG names (one line, UTF-8, a tab between arguments), then
// copies its input to its output, never over a file that is there.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                          length, nullptr, nullptr);
    return out;
}

void appendLine(const wchar_t* variable, const std::string& line) {
    wchar_t path[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(variable, path, MAX_PATH))
        return;
    const HANDLE log = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(log);
}

} // namespace

int main() {
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!arguments)
        return 3;
    std::wstring line;
    for (int i = 1; i < count; ++i)
        line += (i > 1 ? L"\t" : L"") + std::wstring(arguments[i]);
    appendLine(L"TW_DECODER_LOG", utf8(line) + "\n");
    const bool copied = count >= 3 && ::CopyFileW(arguments[1], arguments[2], TRUE);
    ::LocalFree(arguments);
    return copied ? 0 : 1;
}
