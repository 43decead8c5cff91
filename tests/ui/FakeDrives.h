#pragma once

#include "platform/Platform.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>

namespace tw::test {

// An in-memory drive-letter file system, for the list controls: directories, files, drives
// whose root cannot be read. Paths are "X:\A\B"; names match without regard to case.
class FakeDrives : public Platform {
public:
    void addDrive(const std::wstring& letter, const std::wstring& label, bool readable = true) {
        m_drives.push_back({letter, label});
        if (readable)
            addDirectory(letter + L"\\");
    }
    // Adds a directory and every parent of it.
    void addDirectory(const std::wstring& path) {
        std::wstring at = path.substr(0, 3);
        m_dirs[lower(at)] = at;
        for (const std::wstring& part : split(path.substr(3))) {
            at = (at.size() == 3 ? at : at + L"\\") + part;
            m_dirs.emplace(lower(at), at);
        }
    }
    void addFile(const std::wstring& dir, const std::wstring& name) {
        addDirectory(dir);
        m_files[lower(dir)].insert(name);
    }
    std::wstring current = L"C:\\";

    std::vector<Drive> drives() const override { return m_drives; }
    std::string nativePath(const std::wstring& drivePath) const override {
        if (drivePath.size() < 3 || drivePath[1] != L':')
            return {};
        bool known = false;
        for (const Drive& d : m_drives)
            known = known || lower(d.letter) == lower(drivePath.substr(0, 2));
        if (!known)
            return {};
        std::wstring at = drivePath.substr(0, 2) + L"\\";
        for (const std::wstring& part : split(drivePath.substr(3))) {
            std::wstring next = (at.size() == 3 ? at : at + L"\\") + part;
            auto it = m_dirs.find(lower(next));
            at = it != m_dirs.end() ? it->second : next;
        }
        return narrow(at);
    }
    std::wstring drivePath(const std::string& native) const override {
        return std::wstring(native.begin(), native.end());
    }
    bool isDirectory(const std::wstring& p) const override { return m_dirs.count(lower(strip(p))); }
    bool exists(const std::wstring& p) const override { return isDirectory(p); }
    bool sameEntry(const std::wstring& a, const std::wstring& b) const override {
        return lower(strip(a)) == lower(strip(b));
    }
    std::uint32_t GetShortPathNameA(const char*, char*, std::uint32_t) const override { return 0; }
    Status listDirectories(const std::wstring& dir,
                           std::vector<std::wstring>& names) const override {
        if (!isDirectory(dir))
            return Status::failure(L"cannot read " + dir);
        const std::wstring prefix = lower(strip(dir)).size() == 3 ? lower(strip(dir))
                                                                 : lower(strip(dir)) + L"\\";
        names.clear();
        for (const auto& [key, real] : m_dirs)
            if (key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0 &&
                key.find(L'\\', prefix.size()) == std::wstring::npos)
                names.push_back(real.substr(prefix.size()));
        return Status::success();
    }
    Status listFiles(const std::wstring& dir, const std::wstring& pattern,
                     std::vector<std::wstring>& names) const override {
        if (!isDirectory(dir))
            return Status::failure(L"cannot read " + dir);
        names.clear();
        auto it = m_files.find(lower(strip(dir)));
        if (it != m_files.end())
            for (const std::wstring& n : it->second)
                if (match(lower(pattern), lower(n)))
                    names.push_back(n);
        std::sort(names.begin(), names.end(),
                  [](const std::wstring& a, const std::wstring& b) { return lower(a) < lower(b); });
        return Status::success();
    }
    std::wstring currentDirectory() const override { return current; }
    Status setCurrentDirectory(const std::wstring& d) override {
        current = d;
        return Status::success();
    }
    std::wstring programDirectory() const override { return L"C:\\"; }
    std::string toEightBit(const std::wstring& t) const override { return narrow(t); }
    std::wstring fromEightBit(const std::string& b) const override { return {b.begin(), b.end()}; }
    Status readFile(const std::wstring&, std::string&) const override {
        return Status::failure(L"no files");
    }
    Status writeFile(const std::wstring&, const std::string&) override {
        return Status::failure(L"no files");
    }
    Status replaceFile(const std::wstring&, const std::string&) override {
        return Status::failure(L"no files");
    }
    Status startBatch(const std::wstring&, const std::wstring&, bool) override {
        return Status::failure(L"no console");
    }
    Status openAddress(const std::wstring&) override { return Status::failure(L"no shell"); }

private:
    static std::wstring lower(std::wstring s) {
        for (wchar_t& c : s)
            c = static_cast<wchar_t>(std::towlower(c));
        return s;
    }
    static std::string narrow(const std::wstring& s) {
        std::string out;
        for (wchar_t c : s)
            out += static_cast<char>(c);
        return out;
    }
    static std::wstring strip(std::wstring p) {
        while (p.size() > 3 && p.back() == L'\\')
            p.pop_back();
        if (p.size() == 2)
            p += L'\\';
        return p;
    }
    static std::vector<std::wstring> split(const std::wstring& s) {
        std::vector<std::wstring> parts;
        std::wstring cur;
        for (wchar_t c : s) {
            if (c == L'\\') {
                if (!cur.empty())
                    parts.push_back(cur);
                cur.clear();
            } else {
                cur += c;
            }
        }
        if (!cur.empty())
            parts.push_back(cur);
        return parts;
    }
    static bool match(const std::wstring& p, const std::wstring& s) {
        if (p.empty())
            return s.empty();
        if (p[0] == L'*')
            return match(p.substr(1), s) || (!s.empty() && match(p, s.substr(1)));
        return !s.empty() && (p[0] == L'?' || p[0] == s[0]) && match(p.substr(1), s.substr(1));
    }

    std::vector<Drive> m_drives;
    std::map<std::wstring, std::wstring> m_dirs; // lower-case path -> real spelling
    std::map<std::wstring, std::set<std::wstring>> m_files;
};

} // namespace tw::test
