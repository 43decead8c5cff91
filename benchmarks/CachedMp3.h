#pragma once

#include "tests/support/Programs.h"

#include <filesystem>
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

} // namespace tw::bench
