#pragma once

#include <memory>

#include "input/InputPlatform.h"

namespace sumiro {

/// A desktop that permits input and has nothing to type into: the panel opens, nothing is sent.
class QuietDesktop final : public InputPlatform {
public:
    std::optional<Application> frontmost() override { return std::nullopt; }
    std::unique_ptr<ActivationWatch> watchActivations(
        std::function<void(std::optional<Application>)>) override {
        return std::make_unique<ActivationWatch>();
    }
    std::int32_t ownProcess() override { return 1; }
    bool isRegular(const Application&) override { return true; }
    void activate(const Application&) override {}
    bool isAlive(const Application&) override { return false; }
    std::optional<QString> name(const Application&) override { return std::nullopt; }
    bool postText(std::u32string_view) override { return false; }
    bool postKey(Key) override { return false; }
    bool permitted() override { return true; }
    bool openPermissionHelp() override { return false; }
};

}  // namespace sumiro
