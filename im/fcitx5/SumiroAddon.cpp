// Sumiro's fcitx5 addon: lets the pad type into the focused text field of any application that
// uses fcitx5, X11 or Wayland alike, over a small D-Bus interface on fcitx5's own connection.

#include <fcitx-utils/dbus/bus.h>
#include <fcitx-utils/dbus/objectvtable.h>
#include <fcitx-utils/key.h>
#include <fcitx/addonfactory.h>
#include <fcitx/addoninstance.h>
#include <fcitx/addonmanager.h>
#include <fcitx/event.h>
#include <fcitx/inputcontext.h>
#include <fcitx/inputcontextmanager.h>
#include <fcitx/instance.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "dbus_public.h"
#include "im/fcitx5/SumiroBus.h"

// Built with Wayland support when the wayland module's header is on the include path.
#if __has_include(<wayland_public.h>)
#include <wayland_public.h>
#define SUMIRO_WITH_WAYLAND 1
#endif

namespace sumiro::fcitx5 {
namespace {

class SumiroAddon;

/// The exported object; every method runs on fcitx5's main loop.
class Service final : public fcitx::dbus::ObjectVTable<Service> {
public:
    explicit Service(SumiroAddon& addon) : addon_(addon) {}

    std::string commit(const std::string& text, const std::string& pad);
    std::string pressKey(std::uint32_t keysym, const std::string& pad);
    std::tuple<bool, std::string> focusedProgram();
    std::string version() { return SUMIRO_VERSION; }

    FCITX_OBJECT_VTABLE_METHOD(commit, "Commit", "ss", "s");
    FCITX_OBJECT_VTABLE_METHOD(pressKey, "PressKey", "us", "s");
    FCITX_OBJECT_VTABLE_METHOD(focusedProgram, "FocusedProgram", "", "bs");
    FCITX_OBJECT_VTABLE_METHOD(version, "Version", "", "s");
    FCITX_OBJECT_VTABLE_SIGNAL(focusChanged, "FocusChanged", "bs")

private:
    SumiroAddon& addon_;
};

class SumiroAddon final : public fcitx::AddonInstance {
public:
    explicit SumiroAddon(fcitx::Instance* instance) : instance_(instance), service_(*this) {
        if (auto* module = dependency("dbus")) {
            bus_ = module->call<fcitx::IDBusModule::bus>();
            bus_->addObjectVTable(path, interface, service_);
            // Owned with replacement allowed, so a restarted fcitx5 takes it over at once.
            bus_->requestName(service, fcitx::Flags<fcitx::dbus::RequestNameFlag>{
                                           fcitx::dbus::RequestNameFlag::AllowReplacement,
                                           fcitx::dbus::RequestNameFlag::ReplaceExisting});
        }
        for (const auto type :
             {fcitx::EventType::InputContextFocusIn, fcitx::EventType::InputContextFocusOut}) {
            watchers_.push_back(instance_->watchEvent(
                type, fcitx::EventWatcherPhase::PostInputMethod, [this, type](fcitx::Event& e) {
                    auto& event = static_cast<fcitx::InputContextEvent&>(e);
                    service_.focusChanged(type == fcitx::EventType::InputContextFocusIn,
                                          event.inputContext()->program());
                }));
        }
#ifdef SUMIRO_WITH_WAYLAND
        if (auto* module = dependency("wayland")) {
            created_ = module->call<fcitx::IWaylandModule::addConnectionCreatedCallback>(
                [this](const std::string& name, wl_display* display, fcitx::FocusGroup*) {
                    displays_[name] = display;
                });
            closed_ = module->call<fcitx::IWaylandModule::addConnectionClosedCallback>(
                [this](const std::string& name, wl_display*) { displays_.erase(name); });
        }
#endif
    }

    ~SumiroAddon() override {
        if (bus_) bus_->releaseName(service);
    }

    /// The context that holds the keyboard focus now; refuses none and the pad's own.
    fcitx::InputContext& focused(const std::string& pad) {
        fcitx::InputContext* context = instance_->lastFocusedInputContext();
        // Qt accepts a commit to an unfocused context and drops it: only a focused one counts.
        if (!context || !context->hasFocus()) {
            context = nullptr;
            instance_->inputContextManager().foreachFocused([&context](fcitx::InputContext* ic) {
                context = ic;
                return false;
            });
        }
        if (!context) {
            throw fcitx::dbus::MethodCallError(noFocusError, "no text field has the focus");
        }
        if (!pad.empty() && context->program() == pad) {
            throw fcitx::dbus::MethodCallError(padFocusedError,
                                               "the pad's own field has the focus");
        }
        return *context;
    }

    /// fcitx5 flushes its Wayland connections only after Wayland events; a commit that came over
    /// D-Bus would wait there until the next one.
    void flush() {
#ifdef SUMIRO_WITH_WAYLAND
        for (const auto& [name, display] : displays_) wl_display_flush(display);
#endif
    }

private:
    fcitx::AddonInstance* dependency(const char* name) {
        return instance_->addonManager().addon(name, true);
    }

#ifdef SUMIRO_WITH_WAYLAND
    std::map<std::string, wl_display*> displays_;
    std::unique_ptr<fcitx::HandlerTableEntry<fcitx::WaylandConnectionCreated>> created_;
    std::unique_ptr<fcitx::HandlerTableEntry<fcitx::WaylandConnectionClosed>> closed_;
#endif

    fcitx::Instance* instance_;
    fcitx::dbus::Bus* bus_ = nullptr;
    Service service_;
    std::vector<std::unique_ptr<fcitx::HandlerTableEntry<fcitx::EventHandler>>> watchers_;
};

std::string Service::commit(const std::string& text, const std::string& pad) {
    fcitx::InputContext& context = addon_.focused(pad);
    context.commitString(text);
    addon_.flush();
    return context.program();
}

std::string Service::pressKey(std::uint32_t keysym, const std::string& pad) {
    fcitx::InputContext& context = addon_.focused(pad);
    const fcitx::Key key(static_cast<fcitx::KeySym>(keysym));
    context.forwardKey(key, false);
    context.forwardKey(key, true);
    addon_.flush();
    return context.program();
}

std::tuple<bool, std::string> Service::focusedProgram() {
    try {
        return {true, addon_.focused({}).program()};
    } catch (const fcitx::dbus::MethodCallError&) {
        return {false, {}};
    }
}

class Factory final : public fcitx::AddonFactory {
public:
    fcitx::AddonInstance* create(fcitx::AddonManager* manager) override {
        return new SumiroAddon(manager->instance());
    }
};

}  // namespace
}  // namespace sumiro::fcitx5

FCITX_ADDON_FACTORY(sumiro::fcitx5::Factory)
