#pragma once

// The tags of an MP3 (ID3v2 and ID3v1), carried into the decoded file where its container has
// room for them.

#include <mpg123.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace tw::decoder {

// Longer tag texts are cut: no player shows more, and a tag must not swell the output.
constexpr std::size_t kMaxTagBytes = 1024;

// Each field is UTF-8 without control characters and at most kMaxTagBytes long; empty when the
// MP3 does not have it.
struct Tags {
    std::string title, artist, album, track, date, genre, comment;
    // What could not come over whole ("title: cut to 1024 bytes; ..."), for one warning; empty
    // when nothing was lost.
    std::string trouble;

    // "Artist - Title", or whichever of the two there is.
    std::string trackName() const;
};

// The tags of the MP3 at `path`, read through a quiet library handle of its own so the decode
// stays exactly as it is. Nothing for anything but a regular file: a pipe can be read once only.
Tags readTags(const std::string& path);

// ID3v2 over ID3v1, field by field; either may be missing.
Tags tagsFrom(const mpg123_id3v1* v1, const mpg123_id3v2* v2);

// Text from a tag made fit for the output: invalid UTF-8 gives nothing, line breaks and tabs
// become blanks, other control characters go, blanks at either end go, and it is cut to
// kMaxTagBytes on a character boundary. `trouble` says what was lost ("cut to 1024 bytes"), or
// stays empty.
std::string cleanTagText(std::string_view text, std::string& trouble);

std::string latin1ToUtf8(std::string_view text);

// A genre as ID3 writes it ("17", "(17)", "(17)Rock & Roll", "Rock") as its name.
std::string genreName(std::string_view genre);

} // namespace tw::decoder
