// A desktop that offers nothing: the pad runs and shows its panel, and every delivery is
// refused as not permitted. Chosen in CMake (SUMIRO_DESKTOP=none) for headless demos.

#include <unistd.h>

#include "input/InputPlatform.h"
#include "input/WindowServices.h"

namespace sumiro {

namespace {

class NoPlatform final : public InputPlatform {
public:
    std::optional<Application> frontmost() override { return std::nullopt; }
    std::unique_ptr<ActivationWatch> watchActivations(
        std::function<void(std::optional<Application>)>) override {
        return std::make_unique<ActivationWatch>();
    }
    std::int32_t ownProcess() override { return static_cast<std::int32_t>(::getpid()); }
    bool isRegular(const Application&) override { return false; }
    void activate(const Application&) override {}
    bool isAlive(const Application&) override { return false; }
    std::optional<QString> name(const Application&) override { return std::nullopt; }
    bool postText(std::u32string_view) override { return false; }
    bool postKey(Key) override { return false; }
    bool permitted() override { return false; }
    bool openPermissionHelp() override { return false; }
    Obstacle obstacle() override { return Obstacle::NoDisplay; }
};

}  // namespace

std::shared_ptr<InputPlatform> systemInputPlatform() { return std::make_shared<NoPlatform>(); }

void chooseWindowSystem() {}

void prepareWindows() {}

void setTakesKeyboard(QWindow*, bool) {}

void showOnAllDesktops(quintptr) {}

void refuseFocusOffers(quintptr) {}

std::unique_ptr<PointerShortcuts> takeShortcuts(std::vector<QKeyCombination>,
                                                std::function<void(QKeyCombination)>) {
    struct Nothing final : PointerShortcuts {
        void setTaken(bool) override {}
    };
    return std::make_unique<Nothing>();
}

std::optional<QString> displayUnavailable() { return std::nullopt; }

}  // namespace sumiro
