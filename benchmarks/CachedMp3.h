#pragma once

#include "tests/support/Programs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace tw::bench {

// An MP3 in `cache` under `name`, made on first use by sox (`synth`) and lame (`lameOptions`)
// and kept. It appears under its name only when complete, so an interrupted run never leaves a
// short file to be measured later. Nothing, with `why`, when it cannot be made.
inline std::optional<std::filesystem::path>
cachedMp3(const std::filesystem::path& cache, const std::string& name, const std::string& synth,
          const std::string& lameOptions, std::string& why) {
    namespace fs = std::filesystem;
    const fs::path mp3 = cache / name;
    std::error_code error;
    if (fs::is_regular_file(mp3, error) && fs::file_size(mp3, error) > 0)
        return mp3;
    if (!tw::test::onPath("sox") || !tw::test::onPath("lame")) {
        why = "sox and lame are needed to make " + name;
        return std::nullopt;
    }
    fs::create_directories(cache, error);
    const std::string partial = mp3.string() + ".part";
    const bool made = tw::test::makeMp3(partial, 44100, 2, synth, lameOptions);
    if (made)
        fs::rename(partial, mp3, error);
    if (!made || error) {
        fs::remove(partial, error);
        why = "sox or lame could not make " + name;
        return std::nullopt;
    }
    return mp3;
}

// A one-second MP3, what a batch of short clips is made of.
inline std::optional<std::filesystem::path> oneSecondMp3(const std::filesystem::path& cache,
                                                         std::string& why) {
    return cachedMp3(cache, "one-second-128k.mp3", "synth 1 pinknoise synth 1 sine mix 440 gain -4",
                     "-b 128", why);
}

inline std::optional<std::filesystem::path> tenMinuteMp3(const std::filesystem::path& cache,
                                                         std::string& why) {
    if (!std::filesystem::is_regular_file(cache / "ten-minutes-192k.mp3"))
        std::fprintf(stderr, "making the 10-minute MP3 once (about half a minute)\n");
    // Pink noise under a slow sweep and a steady tone: nothing the encoder gets for free.
    return cachedMp3(
        cache, "ten-minutes-192k.mp3",
        "synth 600 pinknoise synth 600 sine mix 200-2000 synth 600 sine mix 330 gain -4", "-b 192",
        why);
}

// The 60-minute MP3: six copies of the 10-minute one, its info frame (which gives the length of
// one copy) left out, so that the six make one stream.
inline std::optional<std::filesystem::path> sixtyMinuteMp3(const std::filesystem::path& tenMinutes,
                                                           std::string& why) {
    namespace fs = std::filesystem;
    const fs::path mp3 = tenMinutes.parent_path() / "sixty-minutes-192k.mp3";
    std::error_code error;
    if (fs::is_regular_file(mp3, error) && fs::file_size(mp3, error) > 0)
        return mp3;
    std::ifstream in(tenMinutes, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // An MPEG-1 Layer III stereo frame: the tag follows 32 bytes of side information.
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < 64 || b[0] != 0xFF || (b[1] & 0xFE) != 0xFA) {
        why = "the 10-minute MP3 is not the one expected";
        return std::nullopt;
    }
    const std::string tag = bytes.substr(36, 4);
    if (tag == "Info" || tag == "Xing") {
        static constexpr int kbps[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                       112, 128, 160, 192, 224, 256, 320};
        static constexpr int rates[] = {44100, 48000, 32000};
        const std::size_t length =
            144000u * kbps[b[2] >> 4] / rates[(b[2] >> 2) & 3] + ((b[2] >> 1) & 1);
        bytes.erase(0, length);
    }
    const std::string partial = mp3.string() + ".part";
    {
        std::ofstream out(partial, std::ios::binary);
        for (int i = 0; i < 6; ++i)
            out << bytes;
        if (!out) {
            why = "the 60-minute MP3 could not be written";
            fs::remove(partial, error);
            return std::nullopt;
        }
    }
    fs::rename(partial, mp3, error);
    if (error) {
        why = "the 60-minute MP3 could not be written";
        return std::nullopt;
    }
    return mp3;
}

} // namespace tw::bench
