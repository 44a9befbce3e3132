// Sumiro's fcitx5 addon inside an fcitx5 instance in this process, its clients played by
// fcitx5's own test frontend, on the private session bus of with-session-bus.sh. This process
// calls the addon as the pad would (fcitx5 accepts it as one through its environment); other
// programs call it through dbus-send. The instance runs on the main thread, the tests on another.

#include <fcitx-utils/dbus/bus.h>
#include <fcitx-utils/dbus/message.h>
#include <fcitx-utils/eventdispatcher.h>
#include <fcitx-utils/standardpath.h>
#include <fcitx-utils/testing.h>
#include <fcitx/addonmanager.h>
#include <fcitx/inputcontextmanager.h>
#include <fcitx/instance.h>
#include <gtest/gtest.h>
#include <testfrontend_public.h>

#include <future>
#include <memory>
#include <string>
#include <thread>

#include "im/fcitx5/SumiroBus.h"
#include "input/Keys.h"
#include "testsupport/Command.h"

namespace {

constexpr std::uint64_t timeoutUs = 5000000;
fcitx::Instance* instance = nullptr;
fcitx::EventDispatcher* dispatcher = nullptr;
std::string squatter;  // unique name of the connection that held the addon's name first

// Runs work on fcitx5's thread and waits for it.
template <typename Work>
auto onFcitx(Work work) {
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    dispatcher->schedule([&task] { task(); });
    return result.get();
}

fcitx::AddonInstance* frontend() { return instance->addonManager().addon("testfrontend"); }

// A field of program, focused, as its application's input module would make it.
fcitx::ICUUID focusedField(const std::string& program) {
    return onFcitx([&] {
        const auto uuid = frontend()->call<fcitx::ITestFrontend::createInputContext>(program);
        instance->inputContextManager().findByUUID(uuid)->focusIn();
        return uuid;
    });
}

void expectCommit(const std::string& text) {
    onFcitx([&] { frontend()->call<fcitx::ITestFrontend::pushCommitExpectation>(text); });
}

void destroy(fcitx::ICUUID uuid) {
    onFcitx([uuid] { frontend()->call<fcitx::ITestFrontend::destroyInputContext>(uuid); });
}

class Addon : public ::testing::Test {
protected:
    // The error name of a call to the addon from this process, "" when it succeeded.
    template <typename... Args>
    std::string call(const char* method, const Args&... arguments) {
        auto message = bus.createMethodCall(sumiro::fcitx5::service, sumiro::fcitx5::path,
                                            sumiro::fcitx5::interface, method);
        (message << ... << arguments);
        const auto reply = message.call(timeoutUs);
        return reply.isError() ? reply.errorName() : std::string();
    }
    fcitx::dbus::Bus bus{fcitx::dbus::BusType::Session};
};

TEST_F(Addon, ThePadsTextReachesTheFocusedFieldOnlyWhenShortAndPlain) {
    const auto field = focusedField("editor");
    expectCommit("木");
    expectCommit("👩‍💻");  // joined by U+200D
    std::string longest;
    for (unsigned i = 0; i < sumiro::fcitx5::maxText; ++i) longest += "あ";
    expectCommit(longest);
    EXPECT_EQ(call("Commit", std::string("木"), std::string("sumiro")), "");
    EXPECT_EQ(call("Commit", std::string("👩‍💻"), std::string("sumiro")), "");
    EXPECT_EQ(call("Commit", longest, std::string("sumiro")), "");
    // The test frontend fails on any commit it was not told to expect.
    for (const std::string& text :
         {std::string(), std::string("a\nb"), std::string("\x1b[2J"), std::string("a\tb"),
          std::string("\xc2\x85"), std::string("a\u2028"), std::string("\u202eabc"),
          longest + "あ"}) {
        EXPECT_EQ(call("Commit", text, std::string("sumiro")), sumiro::fcitx5::refusedError)
            << text.size();
    }
    destroy(field);
}

TEST_F(Addon, OnlyThePadsKeysArePressed) {
    const auto field = focusedField("editor");
    using sumiro::Key;
    for (const Key key : {Key::Return, Key::Space, Key::BackSpace, Key::Escape, Key::Delete,
                          Key::Left, Key::Up, Key::Right, Key::Down}) {
        EXPECT_EQ(call("PressKey", static_cast<std::uint32_t>(key), std::string("sumiro")), "");
    }
    // A letter, Control, Tab, F1, XF86PowerOff.
    for (const std::uint32_t keysym : {0x61U, 0xffe3U, 0xff09U, 0xffbeU, 0x1008ff2aU})
        EXPECT_EQ(call("PressKey", keysym, std::string("sumiro")), sumiro::fcitx5::refusedError)
            << std::hex << keysym;
    destroy(field);
}

TEST_F(Addon, NothingGoesToThePadsOwnFieldOrWhereNoFieldHasTheFocus) {
    const auto pad = focusedField("sumiro");
    EXPECT_EQ(call("Commit", std::string("木"), std::string("sumiro")),
              sumiro::fcitx5::padFocusedError);
    EXPECT_EQ(
        call("PressKey", static_cast<std::uint32_t>(sumiro::Key::BackSpace), std::string("sumiro")),
        sumiro::fcitx5::padFocusedError);
    destroy(pad);
    EXPECT_EQ(call("Commit", std::string("木"), std::string("sumiro")),
              sumiro::fcitx5::noFocusError);
}

// Runs dbus-send against the addon; its output, and whether it succeeded.
std::pair<std::string, bool> dbusSend(const std::string& method, const std::string& arguments) {
    const auto [status, output] = sumiro::testing::runCommand(
        "dbus-send --session --print-reply --dest=" + std::string(sumiro::fcitx5::service) + " " +
        sumiro::fcitx5::path + " " + sumiro::fcitx5::interface + "." + method + " " + arguments);
    return {output, status == 0};
}

TEST_F(Addon, AnyOtherProgramIsRefusedAndCannotTakeTheName) {
    const auto field = focusedField("editor");
    for (const auto& [method, arguments] :
         {std::pair{"Commit", "string:x string:"}, std::pair{"PressKey", "uint32:65288 string:"},
          std::pair{"FocusedProgram", ""}}) {
        const auto [output, ok] = dbusSend(method, arguments);
        EXPECT_FALSE(ok) << method;
        EXPECT_NE(output.find(sumiro::fcitx5::refusedError), std::string::npos) << output;
    }
    EXPECT_TRUE(dbusSend("Version", "").second) << "the version is no secret";
    destroy(field);

    // The name was held when fcitx5 started: the addon took it once it was freed, and nobody
    // can take it over now.
    const std::string owner = bus.serviceOwner(sumiro::fcitx5::service, timeoutUs);
    EXPECT_FALSE(owner.empty());
    EXPECT_NE(owner, squatter);
    fcitx::dbus::Bus other(fcitx::dbus::BusType::Session);
    EXPECT_FALSE(other.requestName(
        sumiro::fcitx5::service,
        fcitx::Flags<fcitx::dbus::RequestNameFlag>{fcitx::dbus::RequestNameFlag::ReplaceExisting}));
    EXPECT_EQ(bus.serviceOwner(sumiro::fcitx5::service, timeoutUs), owner);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    fcitx::setupTestingEnvironment(
        SUMIRO_FCITX5_BUILD_DIR, {SUMIRO_FCITX5_BUILD_DIR},
        {SUMIRO_FCITX5_TEST_DATA_DIR, SUMIRO_FCITX5_BUILD_DIR "/share/fcitx5",
         fcitx::StandardPath::fcitxPath("pkgdatadir")});
    // This test is the pad here.
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    ::setenv(sumiro::fcitx5::extraPadsVariable, self, 1);

    // Someone holds the addon's name before fcitx5 starts, and lets it go once it runs.
    auto early = std::make_unique<fcitx::dbus::Bus>(fcitx::dbus::BusType::Session);
    if (!early->requestName(sumiro::fcitx5::service,
                            fcitx::Flags<fcitx::dbus::RequestNameFlag>(0))) {
        return 1;
    }
    squatter = early->uniqueName();

    // fcitx5's D-Bus module needs its keyboard.
    char name[] = "sumiro_fcitx5_addon_test", disable[] = "--disable=all",
         enable[] = "--enable=testfrontend,keyboard,dbus,sumiro";
    char* arguments[] = {name, disable, enable};
    fcitx::Instance fcitx(3, arguments);
    fcitx.addonManager().registerDefaultLoader(nullptr);
    fcitx::EventDispatcher events;
    events.attach(&fcitx.eventLoop());
    instance = &fcitx;
    dispatcher = &events;
    int result = 1;
    std::thread tests;
    events.schedule([&] {
        early.reset();
        tests = std::thread([&] {
            // The addon owns the name again before the tests call it.
            fcitx::dbus::Bus bus(fcitx::dbus::BusType::Session);
            for (int i = 0; i < 500 && bus.serviceOwner(sumiro::fcitx5::service, timeoutUs).empty();
                 ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            result = RUN_ALL_TESTS();
            dispatcher->schedule([] { instance->exit(); });
        });
    });
    fcitx.exec();
    tests.join();
    return result;
}
