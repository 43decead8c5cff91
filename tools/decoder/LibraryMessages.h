#pragma once

// The MPEG library writes what it meets in a stream (damage, a lost frame sync, a header that
// disagrees with the file) on stderr, in lines of its own. While a decode runs they are taken
// in instead: each one counts as a sign of damage for the thread whose decoding caused it, and
// none reaches the console. The decoder says in its own words where the damage was.

#include <cstdio>

namespace tw::decoder {

class LibraryMessages {
public:
    // Takes the library's lines in until destroyed. One at a time in a process.
    LibraryMessages();
    ~LibraryMessages();
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

    // Whether the lines are taken in: only then can a decode hear that a frame was damaged.
    bool listening() const { return m_taken != nullptr; }

    // How many lines the library has written on the calling thread so far.
    static long heardOnThisThread();

private:
    std::FILE* m_taken = nullptr; // the stream standing in for stderr
    std::FILE* m_stderr = nullptr;
};

} // namespace tw::decoder
