#pragma once

// The chunks of a WAV (RIFF, little-endian sizes) or AIFF/AIFC (IFF, big-endian) file, read
// without the sound-file library, so a test can check what it wrote with a reader of its own.

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace tw::test {

struct SoundChunk {
    std::string id;
    std::size_t offset = 0; // of its header in the file
    std::string body;
};

inline bool isRiff(const std::string& file) {
    return file.compare(0, 4, "RIFF") == 0;
}

inline std::size_t chunkSize(const std::string& bytes, std::size_t at, bool littleEndian) {
    std::size_t size = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t k =
            littleEndian ? at + 3 - static_cast<std::size_t>(i) : at + static_cast<std::size_t>(i);
        size = size << 8 | static_cast<unsigned char>(bytes[k]);
    }
    return size;
}

// The chunks in a block of them, each padded to an even length; a chunk that runs past the
// end ends the list.
inline std::vector<SoundChunk> chunksIn(const std::string& bytes, std::size_t from,
                                        bool littleEndian) {
    std::vector<SoundChunk> chunks;
    for (std::size_t at = from; at + 8 <= bytes.size();) {
        const std::size_t size = chunkSize(bytes, at + 4, littleEndian);
        if (size > bytes.size() - at - 8)
            break;
        chunks.push_back({bytes.substr(at, 4), at, bytes.substr(at + 8, size)});
        at += 8 + size + (size & 1);
    }
    return chunks;
}

// The chunks after the file's own header ("RIFF....WAVE", "FORM....AIFF").
inline std::vector<SoundChunk> soundChunks(const std::string& file) {
    return chunksIn(file, 12, isRiff(file));
}

// Text chunks as a reader shows them: up to the first zero byte.
inline std::string chunkText(const std::string& body) {
    return body.substr(0, body.find('\0'));
}

// Every text a WAV's LIST INFO chunk holds, or an AIFF's NAME, AUTH and ANNO chunks, by id.
inline std::map<std::string, std::string> textChunks(const std::string& file) {
    std::map<std::string, std::string> texts;
    for (const auto& chunk : soundChunks(file)) {
        if (isRiff(file) && chunk.id == "LIST" && chunk.body.compare(0, 4, "INFO") == 0)
            for (const auto& entry : chunksIn(chunk.body, 4, true))
                texts[entry.id] = chunkText(entry.body);
        else if (!isRiff(file) && (chunk.id == "NAME" || chunk.id == "AUTH" || chunk.id == "ANNO"))
            texts[chunk.id] = chunkText(chunk.body);
    }
    return texts;
}

// The file without its chunks of this id, the size in its header made to fit.
inline std::string withoutChunks(const std::string& file, const std::string& id) {
    std::string out = file.substr(0, 12);
    for (const auto& chunk : soundChunks(file))
        if (chunk.id != id)
            out += file.substr(chunk.offset, 8 + chunk.body.size() + (chunk.body.size() & 1));
    const std::size_t size = out.size() - 8;
    for (int i = 0; i < 4; ++i) {
        const int shift = isRiff(file) ? 8 * i : 24 - 8 * i;
        out[4 + static_cast<std::size_t>(i)] = static_cast<char>(size >> shift & 0xFF);
    }
    return out;
}

} // namespace tw::test
