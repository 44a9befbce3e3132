#include "testsupport/FakePlatform.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace sumiro {
namespace {

std::string hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", value);
    return buffer;
}

}  // namespace

std::string textEntry(std::u32string_view text) {
    std::string entry = "text";
    for (const char32_t c : text) entry += " " + hex(c);
    return entry;
}

std::string keyEntry(Key key) { return "key " + hex(static_cast<std::uint32_t>(key)); }

FakePlatform::FakePlatform() = default;

FakePlatform::~FakePlatform() { verify(); }

Application FakePlatform::add(Window window) {
    const Application app = window.app;
    windows_[app.window] = std::move(window);
    return app;
}

void FakePlatform::quit(const Application& app) {
    if (auto it = windows_.find(app.window); it != windows_.end()) it->second.alive = false;
    if (front && *front == app) front.reset();
}

void FakePlatform::userActivates(const Application& app) {
    front = app;
    handlers_.notify(app);
}

void FakePlatform::expectText(std::u32string text) { expected_.push_back(textEntry(text)); }

void FakePlatform::expectKey(Key key) { expected_.push_back(keyEntry(key)); }

void FakePlatform::verify() {
    for (const auto& entry : expected_) ADD_FAILURE() << "expected post never came: " << entry;
    expected_.clear();
}

void FakePlatform::posted(const std::string& entry) {
    log.push_back(entry);
    if (expected_.empty()) {
        ADD_FAILURE() << "unexpected post: " << entry;
        return;
    }
    EXPECT_EQ(expected_.front(), entry) << "posts came in another order or with other content";
    expected_.pop_front();
}

const FakePlatform::Window* FakePlatform::find(const Application& app) const {
    const auto it = windows_.find(app.window);
    return it == windows_.end() ? nullptr : &it->second;
}

std::optional<Application> FakePlatform::frontmost() { return front; }

std::unique_ptr<ActivationWatch> FakePlatform::watchActivations(
    std::function<void(std::optional<Application>)> handler) {
    return handlers_.add(std::move(handler));
}

std::int32_t FakePlatform::ownProcess() { return ownPid; }

bool FakePlatform::isRegular(const Application& app) {
    const Window* window = find(app);
    return window && window->regular;
}

void FakePlatform::activate(const Application& app) {
    log.push_back("activate " + std::to_string(app.window));
    if (activationWorks && isAlive(app)) front = app;
}

bool FakePlatform::isAlive(const Application& app) {
    const Window* window = find(app);
    return window && window->alive;
}

std::optional<QString> FakePlatform::name(const Application& app) {
    const Window* window = find(app);
    return window ? window->name : std::nullopt;
}

bool FakePlatform::postText(std::u32string_view text) {
    if (!postsWork) {
        log.push_back("failed " + textEntry(text));
        return false;
    }
    posted(textEntry(text));
    return true;
}

bool FakePlatform::postKey(Key key) {
    if (!postsWork) {
        log.push_back("failed " + keyEntry(key));
        return false;
    }
    posted(keyEntry(key));
    return true;
}

bool FakePlatform::permitted() { return allowed; }

bool FakePlatform::openPermissionHelp() {
    ++helpOpened;
    return true;
}

}  // namespace sumiro
