#include "input/accessibility/FocusHolder.h"

namespace sumiro::accessibility {

void FocusHolder::activated(const std::string& app, const std::string& window,
                            Clock::time_point at) {
    Application& application = applications_[app];
    application.windows[window] = ++gains_;
    application.since = at;
}

void FocusHolder::focused(const std::string& app, const std::string& widget, Clock::time_point at) {
    Application& application = applications_[app];
    application.widgets[widget] = ++gains_;
    application.since = at;
}

void FocusHolder::lost(const std::string& app, const std::string& object) {
    const auto found = applications_.find(app);
    if (found == applications_.end()) return;
    Application& application = found->second;
    application.widgets.erase(object);
    // With its last active window goes the focus of its widgets.
    if (application.windows.erase(object) > 0 && application.windows.empty()) {
        application.widgets.clear();
    }
}

void FocusHolder::left(const std::string& app) { applications_.erase(app); }

void FocusHolder::named(const std::string& app, std::string name) {
    applications_[app].name = std::move(name);
}

void FocusHolder::titled(const std::string& app, const std::string& window, std::string title) {
    applications_[app].titles[window] = std::move(title);
}

void FocusHolder::ignore(const std::string& app) { applications_[app].ignored = true; }

std::optional<FocusHolder::Holder> FocusHolder::holder() const {
    const std::pair<const std::string, Application>* last = nullptr;
    for (const auto& each : applications_) {
        if (!each.second.holds()) continue;
        if (!last || each.second.since > last->second.since) last = &each;
    }
    if (!last) return std::nullopt;
    const Application& application = last->second;
    Holder holder{last->first, std::nullopt, application.since};
    if (application.name && !application.name->empty()) {
        holder.name = application.name;
    } else if (application.name) {
        // No name of its own: the title of its window, as a window list shows it.
        std::uint64_t latest = 0;
        for (const auto& [window, gain] : application.windows) {
            const auto title = application.titles.find(window);
            if (title != application.titles.end() && !title->second.empty() && gain > latest) {
                latest = gain;
                holder.name = title->second;
            }
        }
    }
    return holder;
}

std::optional<std::string> FocusHolder::nameOf(Clock::time_point fieldFocused) const {
    const auto current = holder();
    if (!current || current->since + nearFocusIn < fieldFocused) return std::nullopt;
    return current->name;
}

}  // namespace sumiro::accessibility
