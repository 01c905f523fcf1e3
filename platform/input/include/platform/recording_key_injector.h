#pragma once
// A key injector that keeps every record it is given, for tests.
#include <vector>

#include "platform/keyboard_input.h"

namespace platform {

class RecordingKeyInjector final : public KeyInjector {
public:
    bool Inject(const KeyboardInput& input) override {
        Records.push_back(input);
        return true;
    }
    const char* Name() const override { return "recording"; }

    std::vector<KeyboardInput> Records;
};

}  // namespace platform
