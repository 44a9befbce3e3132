// Sumiro's fcitx5 addon: lets the pad type into the focused text field of any application that
// uses fcitx5, X11 or Wayland alike, over a small D-Bus interface on fcitx5's own connection.

#include <fcitx-utils/dbus/bus.h>
#include <fcitx-utils/dbus/message.h>
#include <fcitx-utils/dbus/objectvtable.h>
#include <fcitx-utils/dbus/servicewatcher.h>
#include <fcitx-utils/key.h>
#include <fcitx-utils/log.h>
#include <fcitx-utils/utf8.h>
#include <fcitx/addonfactory.h>
#include <fcitx/addoninstance.h>
#include <fcitx/addonmanager.h>
#include <fcitx/event.h>
#include <fcitx/inputcontext.h>
#include <fcitx/inputcontextmanager.h>
#include <fcitx/instance.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "dbus_public.h"
#include "im/fcitx5/SumiroBus.h"
#include "input/Keys.h"
#include "wayland_public.h"

namespace sumiro::fcitx5 {
namespace {

constexpr std::uint64_t busCallTimeoutUs = 1000000;

// Splits a colon-separated list of paths.
std::vector<std::string> paths(std::string_view list) {
    std::vector<std::string> out;
    while (!list.empty()) {
        const auto colon = list.find(':');
        if (colon != 0) out.emplace_back(list.substr(0, colon));
        if (colon == std::string_view::npos) break;
        list.remove_prefix(colon + 1);
    }
    return out;
}

// The pads whose calls are accepted: `relative` lists paths seen from the folder of the addon's
// own library, as fcitx5 loaded it.
std::vector<std::string> padsBesideAddon(std::string_view relative) {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&padsBesideAddon), &info) == 0 || !info.dli_fname) {
        return {};
    }
    std::error_code error;
    const auto library = std::filesystem::canonical(info.dli_fname, error);
    if (error) return {};
    std::vector<std::string> out;
    for (const auto& path : paths(relative)) {
        const auto pad = library.parent_path() / path;
        // The kernel names executables by their canonical path; a pad not built or installed
        // yet is compared as written.
        const auto canonical = std::filesystem::canonical(pad, error);
        out.push_back((error ? pad.lexically_normal() : canonical).string());
    }
    return out;
}

// The executable a process runs, as the kernel has it ("" when it cannot be read). A file
// replaced since the process started (an upgrade) still counts as the path it was run from.
std::string executable(pid_t pid) {
    std::error_code error;
    std::string link =
        std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
    if (error) return {};
    constexpr std::string_view deleted = " (deleted)";
    if (link.size() > deleted.size() && link.ends_with(deleted)) {
        link.resize(link.size() - deleted.size());
    }
    return link;
}

// Whether a process sees the same files as fcitx5: a sandbox (Flatpak, Snap) has a mount
// namespace of its own, where any path may name anything.
bool sameFiles(pid_t pid) {
    struct stat theirs {
    }, ours{};
    const std::string proc = "/proc/" + std::to_string(pid) + "/ns/mnt";
    return ::stat(proc.c_str(), &theirs) == 0 && ::stat("/proc/self/ns/mnt", &ours) == 0 &&
           theirs.st_ino == ours.st_ino && theirs.st_dev == ours.st_dev;
}

// Text the pad sends: a character or a soft keyboard key's few, never a line, an escape sequence
// or anything that reorders what a terminal shows.
bool acceptableText(const std::string& text) {
    const auto length = fcitx::utf8::lengthValidated(text);
    if (length == 0 || length == fcitx::utf8::INVALID_LENGTH || length > maxText) return false;
    for (const std::uint32_t c : fcitx::utf8::MakeUTF8CharRange(text)) {
        const bool control = c < 0x20 || (c >= 0x7f && c < 0xa0);
        const bool lineOrParagraph = c == 0x2028 || c == 0x2029;
        const bool bidi = (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
        if (control || lineOrParagraph || bidi) return false;
    }
    return true;
}

// The bare keys of the pad's key strip and soft keyboard.
bool acceptableKey(std::uint32_t keysym) {
    constexpr Key keys[] = {Key::Return, Key::Space, Key::BackSpace, Key::Escape, Key::Delete,
                            Key::Left,   Key::Up,    Key::Right,     Key::Down};
    return std::any_of(std::begin(keys), std::end(keys),
                       [keysym](Key key) { return static_cast<std::uint32_t>(key) == keysym; });
}

[[noreturn]] void refuse(const std::string& why) {
    throw fcitx::dbus::MethodCallError(refusedError, why.c_str());
}

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
    explicit SumiroAddon(fcitx::Instance* instance)
        : instance_(instance), pads_(padsBesideAddon(SUMIRO_FCITX5_PADS)), service_(*this) {
        // Whoever starts fcitx5 chooses its addons already: its environment can add no power.
        if (const char* extra = std::getenv(extraPadsVariable)) {
            for (auto& path : paths(extra)) pads_.push_back(std::move(path));
        }
        if (auto* module = dependency("dbus")) {
            bus_ = module->call<fcitx::IDBusModule::bus>();
            bus_->addObjectVTable(path, interface, service_);
            owners_ = std::make_unique<fcitx::dbus::ServiceWatcher>(*bus_);
            // Another fcitx5 that is being replaced may hold the name a moment longer: it is
            // taken as soon as it is free.
            ownerWatch_ = owners_->watchService(
                service, [this](const std::string&, const std::string&, const std::string& owner) {
                    if (owner.empty()) ownName();
                });
            ownName();
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
        if (auto* module = dependency("wayland")) {
            created_ = module->call<fcitx::IWaylandModule::addConnectionCreatedCallback>(
                [this](const std::string& name, wl_display* display, fcitx::FocusGroup*) {
                    displays_[name] = display;
                });
            closed_ = module->call<fcitx::IWaylandModule::addConnectionClosedCallback>(
                [this](const std::string& name, wl_display*) { displays_.erase(name); });
        }
    }

    ~SumiroAddon() override {
        if (bus_) bus_->releaseName(service);
    }

    /// Refuses the call being handled unless it comes from the pad.
    void checkCaller() {
        const auto* message = service_.currentMessage();
        const std::string sender = message ? message->sender() : std::string();
        // A bus never hands a unique name out twice: a caller is looked at once.
        if (const auto known = verdicts_.find(sender); known != verdicts_.end()) {
            if (!known->second) refuse("only the pad may call this");
            return;
        }
        if (verdicts_.size() >= 64) verdicts_.clear();
        const bool pad = !sender.empty() && isPad(sender);
        verdicts_[sender] = pad;
        if (!pad) refuse("only the pad may call this");
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
        for (const auto& [name, display] : displays_) wl_display_flush(display);
    }

private:
    fcitx::AddonInstance* dependency(const char* name) {
        return instance_->addonManager().addon(name, true);
    }

    // Owned without queueing and without letting anyone take it over: whoever holds this name
    // is handed the pad's characters.
    void ownName() {
        if (bus_->requestName(service, fcitx::Flags<fcitx::dbus::RequestNameFlag>{
                                           fcitx::dbus::RequestNameFlag::ReplaceExisting})) {
            return;
        }
        FCITX_WARN() << "Sumiro: " << service << " is held by another process; the pad will "
                     << "not type through fcitx5 until it is free";
    }

    bool isPad(const std::string& sender) {
        auto call = bus_->createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                           "org.freedesktop.DBus", "GetConnectionUnixProcessID");
        call << sender;
        auto reply = call.call(busCallTimeoutUs);
        std::uint32_t pid = 0;
        if (reply.isError() || !(reply >> pid) || pid == 0) return false;
        const auto process = static_cast<pid_t>(pid);
        const std::string program = executable(process);
        const bool known = std::find(pads_.begin(), pads_.end(), program) != pads_.end();
        if (!known || !sameFiles(process)) {
            FCITX_WARN() << "Sumiro: refused a call from " << (program.empty() ? "?" : program)
                         << " (pid " << pid << ")";
            return false;
        }
        return true;
    }

    std::map<std::string, wl_display*> displays_;
    std::unique_ptr<fcitx::HandlerTableEntry<fcitx::WaylandConnectionCreated>> created_;
    std::unique_ptr<fcitx::HandlerTableEntry<fcitx::WaylandConnectionClosed>> closed_;

    fcitx::Instance* instance_;
    std::vector<std::string> pads_;         // executables whose calls are accepted
    std::map<std::string, bool> verdicts_;  // caller's unique name → whether it is the pad
    fcitx::dbus::Bus* bus_ = nullptr;
    std::unique_ptr<fcitx::dbus::ServiceWatcher> owners_;
    std::unique_ptr<fcitx::HandlerTableEntry<fcitx::dbus::ServiceWatcherCallback>> ownerWatch_;
    Service service_;
    std::vector<std::unique_ptr<fcitx::HandlerTableEntry<fcitx::EventHandler>>> watchers_;
};

std::string Service::commit(const std::string& text, const std::string& pad) {
    addon_.checkCaller();
    if (!acceptableText(text)) refuse("only up to a few characters, and no control characters");
    fcitx::InputContext& context = addon_.focused(pad);
    context.commitString(text);
    addon_.flush();
    return context.program();
}

std::string Service::pressKey(std::uint32_t keysym, const std::string& pad) {
    addon_.checkCaller();
    if (!acceptableKey(keysym)) refuse("not a key of the pad");
    fcitx::InputContext& context = addon_.focused(pad);
    const fcitx::Key key(static_cast<fcitx::KeySym>(keysym));
    context.forwardKey(key, false);
    context.forwardKey(key, true);
    addon_.flush();
    return context.program();
}

std::tuple<bool, std::string> Service::focusedProgram() {
    addon_.checkCaller();
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
