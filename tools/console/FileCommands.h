#pragma once

// The built-in commands that change names: REN and DEL, and the condition of IF [NOT] EXIST.
// None of them ever replaces a file, writes through a link or touches a folder.

#include <string>
#include <vector>

namespace tw::console {

class Batch;
class Session;

class FileCommands {
public:
    FileCommands(Session& session, Batch& batch);

    // "REN file newname": the file takes the new name in its own folder, unless that names
    // another file.
    bool ren(const std::vector<std::wstring>& words);
    // "DEL file...": each file goes.
    bool del(const std::vector<std::wstring>& words);

    // "IF [NOT] EXIST path command", read: the command (as written) when the condition holds,
    // in `command`; empty when it does not. False, and said why, for a line of another form.
    bool ifExist(const std::wstring& text, std::wstring& command);

private:
    struct Renaming;
    bool checkRenWords(const std::vector<std::wstring>& words);
    bool checkNewName(const std::wstring& newName);
    bool findRenameSource(Renaming& renaming);
    void lookUpNewName(Renaming& renaming);
    // The new name names the file being renamed (in another case, or as its short name).
    bool isRenamingItself(const Renaming& renaming) const;
    bool refuseTakenName(const Renaming& renaming);
    // Why a rename failed, naming a character the folder's file system refuses.
    std::wstring renameFailure(const std::wstring& folder, const std::wstring& newName,
                               int error) const;
    // The file's output has its long name: the batch hears of its folder.
    void landed(const Renaming& renaming);
    bool deleteOne(const std::wstring& word);

    Session& m_session;
    Batch& m_batch;
};

// Renames without ever replacing an existing file; returns 0 or the errno value.
int renameNoReplace(const std::string& from, const std::string& to);

} // namespace tw::console
