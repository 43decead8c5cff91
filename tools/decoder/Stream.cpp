#include "Stream.h"

#include <cstdio>

namespace tw::decoder {

Handle openHandle(const Options& options, InputReader& reader, std::string& why) {
    int err = MPG123_OK;
    Handle mh(mpg123_new(nullptr, &err));
    if (!mh) {
        why = std::string("cannot start the MPEG decoder: ") + mpg123_plain_strerror(err);
        return nullptr;
    }
    // Without -sa the library's own limit on the search for the next frame stays in force.
    if (options.searchAgain)
        mpg123_param2(mh.get(), MPG123_RESYNC_LIMIT, -1, 0.0);
    // Under -ign the library keeps its lines to itself; else LibraryMessages hears them.
    if (options.ignoreErrors)
        mpg123_param2(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // readTags reads the tags with a handle of its own; this one passes over them unread, so
    // the library says nothing about bad ones and the warning stays one line.
    mpg123_param2(mh.get(), MPG123_ADD_FLAGS, MPG123_SKIP_ID3V2, 0.0);
    if (bigEndianSamples(options.format))
        mpg123_param2(mh.get(), MPG123_ADD_FLAGS, MPG123_FORCE_ENDIAN | MPG123_BIG_ENDIAN, 0.0);
    // Every rate and channel count, always as 16-bit samples.
    mpg123_format_none(mh.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_replace_reader_handle(mh.get(), &InputReader::read, &InputReader::seek, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(mh.get(), &reader) != MPG123_OK) {
        why = mpg123_strerror(mh.get());
        return nullptr;
    }
    return mh;
}

std::string describeStream(mpg123_handle* mh, long rate) {
    mpg123_frameinfo2 fi{};
    if (mpg123_info2(mh, &fi) != MPG123_OK)
        return "MPEG audio";
    static const char* const versions[] = {"MPEG-1", "MPEG-2", "MPEG-2.5"};
    static const char* const layers[] = {"", "Layer I", "Layer II", "Layer III"};
    static const char* const modes[] = {"stereo", "joint stereo", "dual channel", "mono"};
    char text[160];
    const char* version = fi.version >= 0 && fi.version < 3 ? versions[fi.version] : "MPEG";
    const char* layer = fi.layer >= 1 && fi.layer <= 3 ? layers[fi.layer] : "";
    const char* mode = fi.mode >= 0 && fi.mode < 4 ? modes[fi.mode] : "";
    if (fi.vbr == MPG123_CBR)
        std::snprintf(text, sizeof text, "%s %s, %d kbit/s, %ld Hz, %s", version, layer, fi.bitrate,
                      rate, mode);
    else
        std::snprintf(text, sizeof text, "%s %s, variable bit rate, %ld Hz, %s", version, layer,
                      rate, mode);
    return text;
}

bool inFormat(mpg123_handle* mh, long rate, int channels) {
    long r = 0;
    int c = 0, e = 0;
    mpg123_getformat(mh, &r, &c, &e);
    return r == rate && c == channels;
}

bool openStream(const Options& options, const InputFile& input, Stream& stream, std::string& why) {
    const std::string& name = options.input;
    stream.mh.reset();
    stream.reader = std::make_unique<InputReader>(input);
    stream.mh = openHandle(options, *stream.reader, why);
    if (!stream.mh) {
        if (why.rfind("cannot start", 0) != 0)
            why = "cannot open " + name + ": " + why;
        return false;
    }
    int encoding = 0;
    if (mpg123_getformat(stream.mh.get(), &stream.rate, &stream.channels, &encoding) != MPG123_OK ||
        stream.channels == 0) {
        why = stream.reader->error()
                  ? "cannot read " + name + ": " + errnoText(stream.reader->error())
                  : name + " is not an MPEG audio file";
        return false;
    }
    stream.bytesPerFrame = sizeof(short) * static_cast<std::size_t>(stream.channels);
    stream.frameBytes = mpg123_outblock(stream.mh.get());
    return true;
}

} // namespace tw::decoder
