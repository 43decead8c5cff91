#pragma once

#include <string>
#include <utility>

namespace tw {

// The outcome of an operation that can fail: ok, or the reason in words a user can read.
struct [[nodiscard]] Status {
    bool ok = true;
    std::wstring message;

    static Status success() { return {}; }
    static Status failure(std::wstring why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

} // namespace tw
