#pragma once

#include "platform/Platform.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tw::test {

// The part of a test platform that starts nothing: batch starts and address openings are
// recorded and answered with a chosen status, so no window ever opens.
class StartRecorder : public Platform {
public:
    struct BatchStart {
        std::wstring directory;
        std::wstring scriptName;
        bool minimized = false;
        ConsolePlacement placement;
    };

    // What the recorded calls hand back; success unless a test says otherwise.
    Status batchResult = Status::success();
    Status addressResult = Status::success();

    std::vector<BatchStart> batchStarts;
    std::vector<std::wstring> openedAddresses;
    std::vector<std::uintptr_t> addressOwners; // beside openedAddresses

    Status startBatch(const std::wstring& directory, const std::wstring& scriptName, bool minimized,
                      const ConsolePlacement& placement = {}) override {
        batchStarts.push_back({directory, scriptName, minimized, placement});
        return batchResult;
    }
    Status openAddress(const std::wstring& address, std::uintptr_t owner) override {
        openedAddresses.push_back(address);
        addressOwners.push_back(owner);
        return addressResult;
    }
};

} // namespace tw::test
