#pragma once

// A machine in memory and a main window without widgets, for the settings tests and the
// settings fuzz target.

#include "settings/SettingsHost.h"
#include "tests/support/MemoryPlatform.h"

#include <functional>
#include <set>
#include <string>

namespace tw::testing {

// Drives C: and D:, folders spelled in capitals, the program in C:\TONWRITE, started in
// C:\START.
class SettingsMachine : public test::MemoryPlatform {
public:
    SettingsMachine() {
        addDrive(L"C:", L"[/]");
        addDrive(L"D:", L"[DATA]");
        for (const wchar_t* folder :
             {L"C:\\START", L"C:\\MPEG\\OLD", L"C:\\MUSIC\\NEW", L"C:\\TONWRITE", L"D:\\WAVES"})
            addDirectory(folder);
        programFolder = L"C:\\TONWRITE";
        current = L"C:\\START";
    }
};

// The main window as the settings see it: Dir1 can show the folders in `folders` only.
class FakeHost : public SettingsHost {
public:
    AppState appState;
    std::wstring drive = L"C: [/]";
    std::wstring dir1 = L"C:\\START";
    std::set<std::wstring> folders{L"C:\\", L"C:\\START", L"C:\\MUSIC\\NEW", L"D:\\WAVES"};
    std::wstring label1;
    int setupOpened = 0;
    AppState stateAtSetup; // what Setup would have been primed with
    // What the user does in Setup, if anything.
    std::function<void(AppState&)> setupAction;

    AppState& state() override { return appState; }
    std::wstring driveText() const override { return drive; }
    std::wstring dirPath() const override { return dir1; }
    bool setDirPath(const std::wstring& path) override {
        if (folders.count(path) == 0)
            return false;
        dir1 = path;
        return true;
    }
    void setLabel1(const std::wstring& caption) override { label1 = caption; }
    void Setup_Click() override {
        ++setupOpened;
        stateAtSetup = appState;
        if (setupAction)
            setupAction(appState);
    }
};

} // namespace tw::testing
