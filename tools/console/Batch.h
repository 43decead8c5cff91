#pragma once

// Where a batch stands: its files (each a program line, the decoder, and the lines up to the
// next one), how many were decoded and how many failed, the status line a terminal shows, and
// the words that end the batch.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

namespace tw::console {

// A file as the script names it before it runs: its input's long name and size.
struct PlannedFile {
    std::wstring name;
    std::uint64_t bytes = 0;
};

class Batch {
public:
    // The status line goes to `out`, a terminal's.
    explicit Batch(std::ostream& out);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // A status line at the foot of the terminal, over the lines that scroll above it.
    void setStatusLine(bool shown) { m_statusLine = shown; }
    bool statusLine() const { return m_statusLine; }
    // The files of the script, in order, before it runs.
    void expect(std::vector<PlannedFile> files);

    // A program line of the script starts the next file.
    void fileStarted(const std::wstring& program);
    void programEnded(bool ok);
    // A later line of the current file failed; the file's output took its name in a folder.
    void lineFailed();
    void landed(const std::wstring& folder);
    // How far the current file's program has come.
    void progress(double fraction);

    bool inFile() const { return m_current > 0; }
    bool programFailed() const { return m_programFailed; }
    const std::wstring& program() const { return m_program; }

    std::size_t files() const { return m_current; }
    std::size_t failed() const { return m_failed.size(); }
    std::size_t decoded() const { return m_current - failed() - (m_programRunning ? 1 : 0); }
    // "16 files decoded into C:\home\you\Music\", or without the folder when there were several.
    std::wstring decodedText() const;

    // The terminal as it was: no status line, the whole screen scrolling.
    void end();

private:
    std::wstring statusText(double fraction) const;
    void draw(const std::string& text);

    std::ostream& m_out;
    bool m_statusLine = false;
    bool m_regionSet = false;
    int m_rows = 0;
    std::vector<PlannedFile> m_planned;
    std::uint64_t m_plannedBytes = 0;
    std::uint64_t m_bytesDone = 0; // of the files before the current one
    std::size_t m_current = 0;     // 1-based; 0 before the first file
    std::wstring m_program;
    bool m_programFailed = false;
    bool m_programRunning = false;
    std::set<std::size_t> m_failed;
    std::set<std::wstring> m_folders;
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_lastDrawn{};
};

} // namespace tw::console
