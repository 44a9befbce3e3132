#include "input/wayland/ActiveWindow.h"

#include <wayland-client.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cstdint>
#include <list>
#include <string_view>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace sumiro::wayland {

namespace {

// Version 1 has all this needs; later ones add fullscreen and parents.
constexpr std::uint32_t kManagerVersion = 1;

}  // namespace

struct ActiveWindow::Impl {
    // A window as its last "done" left it, and what has come since.
    struct Window {
        Impl* owner = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        std::string appId, title;
        bool active = false;
        std::string nextAppId, nextTitle;
        bool nextActive = false;

        std::string name() const { return appId.empty() ? title : appId; }
    };

    wl_display* display = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    std::list<Window> windows;  // stable addresses: each is its handle's listener data
    std::unique_ptr<QSocketNotifier> reader;
    std::function<void()> changed;

    ~Impl() {
        reader.reset();
        for (Window& window : windows) zwlr_foreign_toplevel_handle_v1_destroy(window.handle);
        if (manager) zwlr_foreign_toplevel_manager_v1_destroy(manager);
        if (display) wl_display_disconnect(display);
    }

    std::optional<std::string> name() const {
        const auto active = std::ranges::find_if(windows, &Window::active);
        if (active == windows.end()) return std::nullopt;
        return active->name();
    }

    // Runs `change` and tells whether the active window's name changed with it.
    template <typename Change>
    void changing(Change change) {
        const std::optional<std::string> before = name();
        change();
        if (name() != before && changed) changed();
    }

    void added(zwlr_foreign_toplevel_handle_v1* handle) {
        Window& window = windows.emplace_back();
        window.owner = this;
        window.handle = handle;
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kWindowListener, &window);
    }

    void settled(Window& window) {
        changing([&window] {
            window.appId = window.nextAppId;
            window.title = window.nextTitle;
            window.active = window.nextActive;
        });
    }

    void closed(Window& window) {
        changing([this, &window] {
            zwlr_foreign_toplevel_handle_v1_destroy(window.handle);
            windows.remove_if([&window](const Window& each) { return &each == &window; });
        });
    }

    // What the compositor sent since the last read, without waiting for more.
    void read() {
        while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
        wl_display_flush(display);
        if (wl_display_read_events(display) == 0 && wl_display_dispatch_pending(display) >= 0) {
            return;
        }
        // The compositor has gone, and no window is active any more.
        reader->setEnabled(false);
        changing([this] {
            for (Window& window : windows) window.active = false;
        });
    }

    static Window& of(void* data) { return *static_cast<Window*>(data); }
    static const zwlr_foreign_toplevel_handle_v1_listener kWindowListener;
    static const zwlr_foreign_toplevel_manager_v1_listener kManagerListener;
    static const wl_registry_listener kRegistryListener;
};

const zwlr_foreign_toplevel_handle_v1_listener ActiveWindow::Impl::kWindowListener{
    .title = [](void* data, zwlr_foreign_toplevel_handle_v1*,
                const char* title) { of(data).nextTitle = title; },
    .app_id = [](void* data, zwlr_foreign_toplevel_handle_v1*,
                 const char* id) { of(data).nextAppId = id; },
    .output_enter = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
    .output_leave = [](void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {},
    .state =
        [](void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
            const auto* first = static_cast<const std::uint32_t*>(states->data);
            const std::uint32_t* last = first + states->size / sizeof(std::uint32_t);
            of(data).nextActive =
                std::find(first, last, ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) !=
                last;
        },
    .done = [](void* data,
               zwlr_foreign_toplevel_handle_v1*) { of(data).owner->settled(of(data)); },
    .closed = [](void* data,
                 zwlr_foreign_toplevel_handle_v1*) { of(data).owner->closed(of(data)); },
    .parent = [](void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {},
};

const zwlr_foreign_toplevel_manager_v1_listener ActiveWindow::Impl::kManagerListener{
    .toplevel = [](void* data, zwlr_foreign_toplevel_manager_v1*,
                   zwlr_foreign_toplevel_handle_v1* handle) {
        static_cast<Impl*>(data)->added(handle);
    },
    .finished = [](void*, zwlr_foreign_toplevel_manager_v1*) {},
};

const wl_registry_listener ActiveWindow::Impl::kRegistryListener{
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t) {
            auto* impl = static_cast<Impl*>(data);
            if (impl->manager ||
                std::string_view(interface) != zwlr_foreign_toplevel_manager_v1_interface.name) {
                return;
            }
            impl->manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(wl_registry_bind(
                registry, name, &zwlr_foreign_toplevel_manager_v1_interface, kManagerVersion));
            zwlr_foreign_toplevel_manager_v1_add_listener(impl->manager, &kManagerListener,
                                                          impl);
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

ActiveWindow::ActiveWindow(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ActiveWindow::~ActiveWindow() = default;

std::unique_ptr<ActiveWindow> ActiveWindow::open(std::function<void()> changed) {
    auto impl = std::make_unique<Impl>();
    impl->display = wl_display_connect(nullptr);
    if (!impl->display) return nullptr;
    wl_registry* registry = wl_display_get_registry(impl->display);
    wl_registry_add_listener(registry, &Impl::kRegistryListener, impl.get());
    // The globals, then the windows there are now with their details.
    const bool answered = wl_display_roundtrip(impl->display) >= 0 && impl->manager &&
                          wl_display_roundtrip(impl->display) >= 0;
    wl_registry_destroy(registry);
    if (!answered) return nullptr;
    impl->changed = std::move(changed);
    impl->reader = std::make_unique<QSocketNotifier>(wl_display_get_fd(impl->display),
                                                     QSocketNotifier::Read);
    QObject::connect(impl->reader.get(), &QSocketNotifier::activated,
                     [impl = impl.get()] { impl->read(); });
    return std::unique_ptr<ActiveWindow>(new ActiveWindow(std::move(impl)));
}

std::optional<std::string> ActiveWindow::name() const { return impl_->name(); }

}  // namespace sumiro::wayland
