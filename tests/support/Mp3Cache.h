#pragma once

#include "Programs.h"
#include "TempFolder.h"

#include <set>
#include <string>

namespace tw::test {

// MP3s a test program makes (sox and lame) the first time they are asked for, kept in a
// temporary folder of its own until the program ends.
class Mp3Cache {
public:
    static Mp3Cache& get() {
        static Mp3Cache cache;
        return cache;
    }
    // Whether lame and sox are there to make them.
    bool ready() const { return m_ready; }
    const std::string& folder() const { return m_folder.path(); }
    // `name` in the folder: sox's `effects` at `rate` Hz with `channels`, encoded by lame with
    // `lameArgs` (see makeMp3).
    std::string make(const std::string& name, int rate, int channels, const std::string& effects,
                     const std::string& lameArgs) {
        const std::string mp3 = m_folder / name;
        if (!m_made.count(name) && makeMp3(mp3, rate, channels, effects, lameArgs))
            m_made.insert(name);
        return mp3;
    }

private:
    Mp3Cache() : m_ready(onPath("lame") && onPath("sox")) {}
    TempFolder m_folder;
    std::set<std::string> m_made;
    bool m_ready;
};

} // namespace tw::test
