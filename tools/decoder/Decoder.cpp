#include "Decoder.h"

#include <mpg123.h>
#include <sndfile.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace tw::decoder {

bool parseArguments(const std::vector<std::string>& args, Options& options, std::string& error) {
    std::vector<std::string> files;
    bool formatGiven = false;
    for (const auto& arg : args) {
        auto setFormat = [&](Format f) {
            if (formatGiven && options.format != f) {
                error = "more than one output format given";
                return false;
            }
            options.format = f;
            formatGiven = true;
            return true;
        };
        if (arg == "-wav") {
            if (!setFormat(Format::Wav))
                return false;
        } else if (arg == "-snd") {
            if (!setFormat(Format::Snd))
                return false;
        } else if (arg == "-aif") {
            if (!setFormat(Format::Aiff))
                return false;
        } else if (arg == "-aic") {
            if (!setFormat(Format::Aifc))
                return false;
        } else if (arg == "-sa") {
            options.searchAgain = true;
        } else if (arg == "-ign") {
            options.ignoreErrors = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown switch " + arg;
            return false;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2 || files[0].empty() || files[1].empty()) {
        error = files.size() < 2 ? "an input and an output file are needed"
                                  : "too many file names";
        return false;
    }
    options.input = files[0];
    options.output = files[1];
    return true;
}

namespace {

int sndfileFormat(Format format) {
    switch (format) {
    case Format::Wav:
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    case Format::Snd:
        return SF_FORMAT_AU | SF_FORMAT_PCM_16;
    case Format::Aiff:
        return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
    case Format::Aifc:
        // Little-endian samples only fit the compressed-AIFF container ("sowt").
        return SF_FORMAT_AIFF | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    }
    return 0;
}

struct HandleDeleter {
    void operator()(mpg123_handle* h) const {
        mpg123_close(h);
        mpg123_delete(h);
    }
};

struct SndDeleter {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

} // namespace

Outcome decode(const Options& options) {
    Outcome outcome;
    int err = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleDeleter> mh(mpg123_new(nullptr, &err));
    if (!mh) {
        outcome.message = std::string("cannot start the MPEG decoder: ") + mpg123_plain_strerror(err);
        return outcome;
    }
    mpg123_param(mh.get(), MPG123_RESYNC_LIMIT, options.searchAgain ? -1 : 1024, 0.0);
    mpg123_param(mh.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // Every rate and channel count, always as 16-bit samples.
    mpg123_format_none(mh.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

    if (mpg123_open(mh.get(), options.input.c_str()) != MPG123_OK) {
        outcome.message = "cannot open " + options.input + ": " + mpg123_strerror(mh.get());
        return outcome;
    }
    long rate = 0;
    int channels = 0, encoding = 0;
    if (mpg123_getformat(mh.get(), &rate, &channels, &encoding) != MPG123_OK || channels == 0) {
        outcome.message = options.input + " is not an MPEG audio file";
        return outcome;
    }

    // Written under a temporary name so that a failed run never leaves a half file.
    const std::string partial = options.output + ".l3dec-part";
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = channels;
    info.format = sndfileFormat(options.format);
    std::unique_ptr<SNDFILE, SndDeleter> out(sf_open(partial.c_str(), SFM_WRITE, &info));
    if (!out) {
        outcome.message = "cannot create " + options.output + ": " + sf_strerror(nullptr);
        return outcome;
    }

    std::vector<unsigned char> buffer(mpg123_outblock(mh.get()));
    bool failed = false;
    for (;;) {
        size_t done = 0;
        const int rc = mpg123_read(mh.get(), buffer.data(), buffer.size(), &done);
        if (done > 0) {
            const sf_count_t samples = static_cast<sf_count_t>(done / sizeof(short));
            if (sf_write_short(out.get(), reinterpret_cast<const short*>(buffer.data()),
                               samples) != samples) {
                outcome.message = "cannot write " + options.output + ": " + sf_strerror(out.get());
                failed = true;
                break;
            }
            outcome.frames += samples / channels;
        }
        if (rc == MPG123_DONE)
            break;
        if (rc == MPG123_NEW_FORMAT) {
            long r = 0;
            int c = 0, e = 0;
            mpg123_getformat(mh.get(), &r, &c, &e);
            if (r != rate || c != channels) {
                outcome.message = "the stream changes its sample rate or channels midway";
                failed = true;
                break;
            }
            continue;
        }
        if (rc != MPG123_OK) {
            const std::string why = mpg123_strerror(mh.get());
            if (!options.ignoreErrors || outcome.frames == 0) {
                outcome.message = "decoding " + options.input + " failed: " + why;
                failed = true;
            } else {
                outcome.warnings.push_back("decoding stopped early: " + why);
            }
            break;
        }
    }
    out.reset();
    if (failed) {
        std::remove(partial.c_str());
        return outcome;
    }
    if (std::rename(partial.c_str(), options.output.c_str()) != 0) {
        outcome.message = "cannot create " + options.output;
        std::remove(partial.c_str());
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

} // namespace tw::decoder
