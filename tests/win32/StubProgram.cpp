// A program that must never run, copied under the names a broken script could start (calc,
// notepad, cmd, echo, del): it appends its own path and command line to the file TW_STUB_LOG
// names (UTF-8), or to stub-ran.log beside itself.
#include <windows.h>

#include <string>

int main() {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t log[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"TW_STUB_LOG", log, MAX_PATH)) {
        std::wstring beside = self;
        beside = beside.substr(0, beside.find_last_of(L'\\') + 1) + L"stub-ran.log";
        beside.copy(log, MAX_PATH - 1);
    }
    const std::wstring text = std::wstring(self) + L" ran: " + ::GetCommandLineW() + L"\r\n";
    std::string line(text.size() * 3, '\0');
    line.resize(static_cast<std::size_t>(
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), line.data(),
                              static_cast<int>(line.size()), nullptr, nullptr)));
    const HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    return 0;
}
