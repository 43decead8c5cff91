#include "Batch.h"

#include "platform/Text.h"

#include <cstdio>
#include <ostream>

#include <sys/ioctl.h>
#include <unistd.h>

namespace tw::console {

namespace {

std::string clockText(double seconds) {
    const auto whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// The terminal's size; 0 rows when it says none.
winsize terminalSize() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0)
        size = {};
    return size;
}

} // namespace

Batch::Batch(std::ostream& out) : m_out(out) {}

Batch::~Batch() {
    end();
}

void Batch::expect(std::vector<PlannedFile> files) {
    m_planned = std::move(files);
    m_plannedBytes = 0;
    for (const PlannedFile& file : m_planned)
        m_plannedBytes += file.bytes;
}

void Batch::fileStarted(const std::wstring& program) {
    if (m_current > 0 && m_current <= m_planned.size())
        m_bytesDone += m_planned[m_current - 1].bytes;
    ++m_current;
    m_program = program;
    m_programFailed = false;
    m_programRunning = true;
    progress(0);
}

void Batch::programEnded(bool ok) {
    m_programRunning = false;
    m_programFailed = !ok;
    if (!ok)
        m_failed.insert(m_current);
}

void Batch::lineFailed() {
    if (m_current > 0)
        m_failed.insert(m_current);
}

void Batch::landed(const std::wstring& folder) {
    m_folders.insert(folder);
}

std::wstring Batch::decodedText() const {
    const std::size_t count = decoded();
    std::wstring text =
        std::to_wstring(count) + (count == 1 ? L" file decoded" : L" files decoded");
    if (m_folders.size() == 1)
        text += L" into " + *m_folders.begin();
    return text;
}

std::wstring Batch::statusText(double fraction) const {
    const std::size_t total = std::max(m_planned.size(), m_current);
    std::wstring name = m_program;
    double share = 0;
    if (m_current > 0 && m_current <= m_planned.size()) {
        const PlannedFile& file = m_planned[m_current - 1];
        if (!file.name.empty())
            name = file.name;
        share = m_plannedBytes > 0
                    ? (double(m_bytesDone) + fraction * double(file.bytes)) / double(m_plannedBytes)
                    : (double(m_current - 1) + fraction) / double(total);
    }
    std::wstring text = L"file " + std::to_wstring(m_current) + L" of " + std::to_wstring(total) +
                        L"  " + std::to_wstring(int(share * 100)) + L"%";
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    // Once enough is done to tell.
    if (share >= 0.02 && elapsed >= 2)
        text += L"  " + text::fromUtf8(clockText(elapsed * (1 - share) / share)) + L" left";
    return text + L"  " + name;
}

void Batch::progress(double fraction) {
    if (!m_statusLine)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (fraction > 0 && fraction < 1 && now - m_lastDrawn < std::chrono::milliseconds(200))
        return;
    m_lastDrawn = now;
    draw(text::toUtf8(statusText(fraction)));
}

void Batch::draw(const std::string& text) {
    const winsize size = terminalSize();
    if (size.ws_row < 3 || size.ws_col < 10)
        return;
    std::string out;
    // The lines above scroll in a region that leaves the last row to the status line; the
    // cursor goes back where the programs write.
    if (!m_regionSet || size.ws_row != m_rows) {
        m_rows = size.ws_row;
        out += "\n\x1b"
               "7\x1b[1;" +
               std::to_string(m_rows - 1) +
               "r\x1b"
               "8\x1b[1A";
        m_regionSet = true;
    }
    std::string shown = text;
    // One row: a character (never a byte of one) beyond the width is cut.
    std::wstring wide = text::fromUtf8(shown);
    if (wide.size() >= size.ws_col)
        shown = text::toUtf8(wide.substr(0, size.ws_col - 1));
    out += "\x1b"
           "7\x1b[" +
           std::to_string(m_rows) + ";1H\x1b[2K" + shown +
           "\x1b"
           "8";
    m_out << out;
    m_out.flush();
}

void Batch::end() {
    if (!m_regionSet)
        return;
    m_regionSet = false;
    m_out << "\x1b"
             "7\x1b[r\x1b["
          << m_rows
          << ";1H\x1b[2K\x1b"
             "8";
    m_out.flush();
}

} // namespace tw::console
