#pragma once

// The output file: written under a name of its own in the output's folder and given the
// output's name only when complete, and the blocks decoded samples collect in on their way.

#include "Input.h"

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <new>
#include <string>

namespace tw::decoder {

// Decoded audio collects here and reaches the disk in writes of this size: small enough to stay
// in the cache and for a short clip to touch few pages; 1 MiB measured no faster on long files.
constexpr std::size_t kOutputBlock = 64 * 1024;

struct AlignedDeleter {
    void operator()(unsigned char* p) const { ::operator delete[](p, std::align_val_t{64}); }
};

using Block = std::unique_ptr<unsigned char, AlignedDeleter>;

Block newBlock(std::size_t size);

// The output: a partial file under a name of its own in the output's folder, renamed to the
// output's name once complete. The folder is held open, so both names stay in the same folder
// whatever happens to its path meanwhile. Every write comes through here, so a full disk is
// noticed wherever it strikes, the header included.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the output's folder and looks at what the output's name holds now.
    bool prepare(const std::string& path, const InputFile& input, std::string& message);
    // Creates the partial file, never over anything that is there.
    bool create(std::string& message);
    // Closes the file; false when anything written was lost.
    bool close();
    int error() const { return m_error; }
    // Gives the complete file the output's name.
    bool land(const InputFile& input, std::string& message);
    // Takes the partial file away, if it is still there and still ours.
    void discard();

    // Writes at `offset` without moving the file position, from any thread: pieces decoded on
    // other threads go straight to their place. 0, or why it failed.
    int writeAt(const unsigned char* data, std::size_t count, off_t offset) const;
    // Drops whatever lies past `size`, the position staying where it is.
    bool truncate(off_t size);
    // Writes at the current position; false when not all of it was written.
    bool append(const unsigned char* data, std::size_t count);

private:
    bool mayReplace(const InputFile& input, std::string& message) const;
    std::size_t write(const char* data, std::size_t count);

    std::string m_path;    // as given
    std::string m_name;    // its last part
    int m_folder = -1;     // the folder it is in
    std::string m_partial; // the partial file's name there, while there is one
    dev_t m_device = 0;    // and its file
    ino_t m_inode = 0;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace tw::decoder
