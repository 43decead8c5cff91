#include "LibraryMessages.h"

#include <cstdio>

namespace tw::decoder {

namespace {

thread_local long t_heard = 0;

// Every write the library makes on stderr: one of its lines, counted and dropped.
ssize_t hear(void*, const char*, std::size_t size) {
    if (size > 0)
        ++t_heard;
    return static_cast<ssize_t>(size);
}

} // namespace

LibraryMessages::LibraryMessages() {
    // The library writes to whatever `stderr` is when it writes; the C library lets a program
    // set it. Unbuffered, so each line is heard on the thread that wrote it.
    FILE* taken = ::fopencookie(nullptr, "w", {nullptr, hear, nullptr, nullptr});
    if (!taken || std::setvbuf(taken, nullptr, _IONBF, 0) != 0) {
        if (taken)
            std::fclose(taken);
        return;
    }
    std::fflush(stderr);
    m_stderr = stderr;
    m_taken = taken;
    stderr = taken;
}

LibraryMessages::~LibraryMessages() {
    if (!m_taken)
        return;
    stderr = m_stderr;
    std::fclose(m_taken);
}

long LibraryMessages::heardOnThisThread() {
    return t_heard;
}

} // namespace tw::decoder
