#include "Tags.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace tw::decoder {

namespace {

// The genres that ID3v1 numbers, and ID3v2 too where a genre is written as "(17)" or "17".
// clang-format off
constexpr std::array<const char*, 148> kGenres{
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "Alternative Rock", "Bass", "Soul",
    "Punk", "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic",
    "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream",
    "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle",
    "Native US", "Cabaret", "New Wave", "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A Cappella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "Afro-Punk", "Polsk Punk", "Beat", "Christian Gangsta", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Thrash Metal", "Anime", "JPop", "SynthPop"};
// clang-format on

std::string numberedGenre(std::string_view digits) {
    if (digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return {};
    const std::size_t number = static_cast<std::size_t>(std::stoi(std::string(digits)));
    return number < kGenres.size() ? kGenres[number] : std::string{};
}

// The next character of UTF-8 text at `at`, moving past it; -1 for anything but a well-formed
// character (overlong forms and surrogates included).
long nextCharacter(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    int length = 0;
    long c = 0, least = 0;
    if (lead < 0x80)
        return text[at++];
    if ((lead & 0xE0) == 0xC0)
        length = 2, c = lead & 0x1F, least = 0x80;
    else if ((lead & 0xF0) == 0xE0)
        length = 3, c = lead & 0x0F, least = 0x800;
    else if ((lead & 0xF8) == 0xF0)
        length = 4, c = lead & 0x07, least = 0x10000;
    else
        return -1;
    if (at + static_cast<std::size_t>(length) > text.size())
        return -1;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + static_cast<std::size_t>(i)) & 0xC0) != 0x80)
            return -1;
        c = (c << 6) | (byte(at + static_cast<std::size_t>(i)) & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return -1;
    at += static_cast<std::size_t>(length);
    return c;
}

void note(std::string& trouble, const char* what) {
    if (!trouble.empty())
        trouble += ", ";
    trouble += what;
}

// An ID3v2 text as the library has it: ID3v2.4 keeps several values apart with a zero byte.
std::string v2Text(const mpg123_string* text) {
    if (!text || !text->p || text->fill == 0)
        return {};
    std::string_view all(text->p, text->fill);
    std::string joined;
    for (std::size_t from = 0; from < all.size();) {
        const std::size_t end = std::min(all.find('\0', from), all.size());
        if (end > from) {
            if (!joined.empty())
                joined += "; ";
            joined.append(all.substr(from, end - from));
        }
        from = end + 1;
    }
    return joined;
}

const mpg123_string* v2Frame(const mpg123_id3v2* v2, const char* id) {
    const mpg123_string* found = nullptr;
    for (std::size_t i = 0; v2 && i < v2->texts; ++i)
        if (std::memcmp(v2->text[i].id, id, 4) == 0)
            found = &v2->text[i].text;
    return found;
}

// An ID3v1 field: fixed length, ended by a zero byte or padded with blanks.
std::string v1Text(const char* field, std::size_t size) {
    return latin1ToUtf8(std::string_view(field, ::strnlen(field, size)));
}

} // namespace

std::string Tags::trackName() const {
    if (artist.empty() || title.empty())
        return artist + title;
    return artist + " - " + title;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string genreName(std::string_view genre) {
    if (genre.starts_with("((")) // a name that begins with "(" itself
        return std::string(genre.substr(1));
    if (genre == "(RX)")
        return "Remix";
    if (genre == "(CR)")
        return "Cover";
    if (genre.starts_with('(')) {
        const std::size_t close = genre.find(')');
        const std::string named = close == std::string_view::npos
                                      ? std::string{}
                                      : numberedGenre(genre.substr(1, close - 1));
        if (!named.empty()) {
            // "(17)Rock & Roll": the text refines the number.
            const std::string_view rest = genre.substr(close + 1);
            return rest.empty() ? named : genreName(rest);
        }
    }
    const std::string named = numberedGenre(genre);
    return named.empty() ? std::string(genre) : named;
}

std::string cleanTagText(std::string_view text, std::string& trouble) {
    std::string out;
    bool controls = false;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t from = at;
        const long c = nextCharacter(text, at);
        if (c < 0) {
            note(trouble, "not valid text, left out");
            return {};
        }
        if (c == '\t' || c == '\n' || c == '\r') {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            controls = true;
        } else {
            out.append(text.substr(from, at - from));
        }
    }
    if (controls)
        note(trouble, "control characters removed");
    if (out.size() > kMaxTagBytes) {
        std::size_t cut = kMaxTagBytes;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
        note(trouble, "cut to 1024 bytes");
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(' ') + 1 - first);
}

Tags tagsFrom(const mpg123_id3v1* v1, const mpg123_id3v2* v2) {
    if (v1 && std::memcmp(v1->tag, "TAG", 3) != 0)
        v1 = nullptr;
    // ID3v1.1 keeps the track number in the last byte of the comment, after a zero byte.
    const bool v1Track = v1 && v1->comment[28] == 0 && v1->comment[29] != 0;

    Tags tags;
    // The ID3v2 text when it has one fit to use, else the ID3v1 text (already UTF-8).
    auto pick = [&](const char* name, std::string Tags::*field, const std::string& fromV2,
                    const std::string& fromV1) {
        for (const std::string* text : {&fromV2, &fromV1}) {
            if (text->empty())
                continue;
            std::string trouble;
            tags.*field = cleanTagText(*text, trouble);
            if (!trouble.empty())
                tags.trouble +=
                    (tags.trouble.empty() ? "" : "; ") + std::string(name) + ": " + trouble;
            if (!(tags.*field).empty())
                return;
        }
    };
    const mpg123_string* date = v2Frame(v2, "TDRC"); // ID3v2.4; before it, the year alone
    pick("title", &Tags::title, v2Text(v2Frame(v2, "TIT2")), v1 ? v1Text(v1->title, 30) : "");
    pick("artist", &Tags::artist, v2Text(v2Frame(v2, "TPE1")), v1 ? v1Text(v1->artist, 30) : "");
    pick("album", &Tags::album, v2Text(v2Frame(v2, "TALB")), v1 ? v1Text(v1->album, 30) : "");
    pick("track", &Tags::track, v2Text(v2Frame(v2, "TRCK")),
         v1Track ? std::to_string(static_cast<unsigned char>(v1->comment[29])) : "");
    pick("date", &Tags::date, v2Text(date ? date : v2Frame(v2, "TYER")),
         v1 ? v1Text(v1->year, 4) : "");
    pick("genre", &Tags::genre, v2Text(v2Frame(v2, "TCON")),
         v1 ? numberedGenre(std::to_string(v1->genre)) : "");
    pick("comment", &Tags::comment, v2 ? v2Text(v2->comment) : "",
         v1 ? v1Text(v1->comment, v1Track ? 28 : 30) : "");
    if (!tags.genre.empty())
        tags.genre = genreName(tags.genre);
    return tags;
}

Tags readTags(const std::string& path) {
    // Opened without waiting, so a FIFO given as input is not held up here.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    int err = MPG123_OK;
    const std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)> mh(mpg123_new(nullptr, &err),
                                                                      [](mpg123_handle* h) {
                                                                          mpg123_close(h);
                                                                          mpg123_delete(h);
                                                                      });
    // Bad tags are summed up in one warning of our own, not one line each from the library.
    if (!mh || mpg123_param2(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0) != MPG123_OK ||
        mpg123_open_fd(mh.get(), fd) != MPG123_OK)
        return {};
    // Opening reads an ID3v1 tag at the end; the way to the first frame reads an ID3v2 tag.
    long rate = 0;
    int channels = 0, encoding = 0;
    mpg123_getformat(mh.get(), &rate, &channels, &encoding);
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if (mpg123_id3(mh.get(), &v1, &v2) != MPG123_OK)
        return {};
    return tagsFrom(v1, v2);
}

} // namespace tw::decoder
