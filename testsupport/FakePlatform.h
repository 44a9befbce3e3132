#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "input/ActivationHandlers.h"
#include "input/InputPlatform.h"

namespace sumiro {

/// A desktop for tests. Windows, the front, permission and failures are set by the test; every
/// call is written to `log`; posts must match the expected ones in order, and a post nobody
/// expected or an expectation left unmet at destruction fails the running test.
class FakePlatform final : public InputPlatform {
public:
    /// A window the test puts on the fake desktop.
    struct Window {
        Application app;
        std::optional<QString> name;
        bool regular = true;
        bool alive = true;
    };

    FakePlatform();
    ~FakePlatform() override;

    /// Puts a window on the desktop (replacing one with the same id) and returns its application.
    Application add(Window window);
    /// Makes the window quit.
    void quit(const Application& app);
    /// Activates app as the user would: it goes to the front and watchers hear of it.
    void userActivates(const Application& app);

    /// Expects text to be posted next.
    void expectText(std::u32string text);
    /// Expects a bare key to be posted next.
    void expectKey(Key key);
    /// Fails the test for every expectation not met yet, then forgets them.
    void verify();

    std::int32_t ownPid = 4242;
    std::optional<Application> front;
    bool allowed = true;
    /// What keeps the pad from typing while not allowed.
    Obstacle blockedBy = Obstacle::NoXTest;
    /// Whether `activate` brings the application to the front.
    bool activationWorks = true;
    /// Whether posts succeed.
    bool postsWork = true;
    int helpOpened = 0;
    /// Every call that changes something, in order: "activate 7", "text 6728", "key ff08"…
    std::vector<std::string> log;

    std::optional<Application> frontmost() override;
    std::unique_ptr<ActivationWatch> watchActivations(
        std::function<void(std::optional<Application>)> handler) override;
    std::int32_t ownProcess() override;
    bool isRegular(const Application& app) override;
    void activate(const Application& app) override;
    bool isAlive(const Application& app) override;
    std::optional<QString> name(const Application& app) override;
    bool postText(std::u32string_view text) override;
    bool postKey(Key key) override;
    bool permitted() override;
    bool openPermissionHelp() override;
    Obstacle obstacle() override { return blockedBy; }

private:
    void posted(const std::string& entry);
    const Window* find(const Application& app) const;

    std::map<std::uint64_t, Window> windows_;
    std::deque<std::string> expected_;
    ActivationHandlers handlers_;
};

/// The log entry of a posted text: "text" and its scalars in hexadecimal.
std::string textEntry(std::u32string_view text);
/// The log entry of a posted key: "key" and its keysym in hexadecimal.
std::string keyEntry(Key key);

}  // namespace sumiro
