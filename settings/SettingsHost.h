#pragma once

#include "core/AppState.h"

#include <string>

namespace tw {

// What the settings load and save need of the main window.
class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    virtual AppState& state() = 0;
    // Text of Drive1's current drive; begins with the drive letter and a colon.
    virtual std::wstring driveText() const = 0;
    // Dir1's path as the directory list reports it.
    virtual std::wstring dirPath() const = 0;
    // Moves Dir1 (and with it File1); false, changing nothing, when it cannot be shown.
    virtual bool setDirPath(const std::wstring& path) = 0;
    virtual void setLabel1(const std::wstring& caption) = 0;
    // The main window's Setup command: opens the Setup dialog modally and waits.
    virtual void Setup_Click() = 0;
};

} // namespace tw
