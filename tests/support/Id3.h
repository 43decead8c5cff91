#pragma once

// ID3 tags written byte by byte: the versions, encodings and damage that no encoder at hand
// writes.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tw::test::id3 {

// 28 bits in four bytes of seven.
inline std::string syncsafe(std::size_t n) {
    return {static_cast<char>(n >> 21 & 0x7F), static_cast<char>(n >> 14 & 0x7F),
            static_cast<char>(n >> 7 & 0x7F), static_cast<char>(n & 0x7F)};
}

// One frame of an ID3v2.`version` tag (2, 3 or 4); `body` starts with its encoding byte.
inline std::string frame(int version, std::string_view id, std::string_view body) {
    const std::size_t n = body.size();
    std::string size;
    if (version == 2)
        size = {static_cast<char>(n >> 16 & 0xFF), static_cast<char>(n >> 8 & 0xFF),
                static_cast<char>(n & 0xFF)};
    else if (version == 3)
        size = {static_cast<char>(n >> 24 & 0xFF), static_cast<char>(n >> 16 & 0xFF),
                static_cast<char>(n >> 8 & 0xFF), static_cast<char>(n & 0xFF)};
    else
        size = syncsafe(n);
    return std::string(id) + size + (version == 2 ? "" : std::string(2, '\0')) + std::string(body);
}

inline std::string tag(int version, const std::vector<std::string>& frames) {
    std::string body;
    for (const auto& f : frames)
        body += f;
    return "ID3" + std::string{static_cast<char>(version), '\0', '\0'} + syncsafe(body.size()) +
           body;
}

// An MP3's bytes without its tags: the ID3v2 tag in front and the ID3v1 tag at the end.
inline std::string stripped(std::string mp3) {
    if (mp3.size() >= 10 && mp3.compare(0, 3, "ID3") == 0) {
        std::size_t size = 0;
        for (int i = 6; i < 10; ++i)
            size =
                size << 7 | (static_cast<unsigned char>(mp3[static_cast<std::size_t>(i)]) & 0x7F);
        mp3.erase(0, 10 + size);
    }
    if (mp3.size() >= 128 && mp3.compare(mp3.size() - 128, 3, "TAG") == 0)
        mp3.resize(mp3.size() - 128);
    return mp3;
}

} // namespace tw::test::id3
