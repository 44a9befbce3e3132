#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "desktop/Autostart.h"
#include "testsupport/Command.h"
#include "testsupport/TempDirectory.h"

namespace sumiro {
namespace {

using ::testing::HasSubstr;
using testing::runCommand;
using testing::TempDirectory;

TEST(AutostartTest, ConfigHomeFollowsTheBaseDirectoryRules) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/x/config", "/home/u", "/x/config"},
        {"", "/home/u", "/home/u/.config"},
        {"relative/config", "/home/u", "/home/u/.config"},
        {nullptr, "/home/u", "/home/u/.config"},
        {nullptr, "relative", ""},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(userConfigHome(c.xdg, c.home), std::filesystem::path(c.expected))
            << (c.xdg ? c.xdg : "(unset)") << " / " << (c.home ? c.home : "(unset)");
}

TEST(AutostartTest, ExecArgumentIsQuotedAndEscapedForTheStringValue) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/sumiro", "/usr/bin/sumiro"},
        {"/opt/My Apps/sumiro", "\"/opt/My Apps/sumiro\""},
        {"/home/a$b/sumiro", "\"/home/a\\\\$b/sumiro\""},
        {"/home/a\"b/sumiro", "\"/home/a\\\\\"b/sumiro\""},
        {"/home/back\\slash/sumiro", "\"/home/back\\\\\\\\slash/sumiro\""},
        {"/x/100%/sumiro", "/x/100%%/sumiro"},
        {"/x/new\nline/sumiro", "\"/x/new\\nline/sumiro\""},
        {"/home/漢字/sumiro", "/home/漢字/sumiro"},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(desktopExecArgument(path), expected) << path;
}

// The written entry must be one the desktop's own tools accept and that GLib, which the
// sessions' autostart uses, loads (it refuses an entry whose program it cannot find) and starts
// with the executable's path intact, whatever that path is.
TEST(AutostartTest, EntryLoadsForEveryExecutablePathItCanHold) {
    TempDirectory programs;
    for (const char* name : {"sumiro", "My Apps/sumiro", "a$b \"q\" back\\slash `x`/sumiro",
                             "new\nline\ttab/sumiro", "漢字/sumiro"}) {
        const std::filesystem::path executable = programs.write(name, "#!/bin/sh\n");
        std::filesystem::permissions(executable, std::filesystem::perms(0755));
        TempDirectory config;
        const Autostart autostart(config.path(), executable);
        autostart.setEnabled(true);
        const std::string entry = "'" + autostart.entryPath().string() + "'";
        EXPECT_EQ(runCommand("desktop-file-validate " + entry), std::make_pair(0, std::string()))
            << name;
        const auto [status, loaded] = runCommand(
            "/usr/bin/python3 -c 'import gi, sys; gi.require_version(\"Gio\", \"2.0\"); "
            "from gi.repository import Gio, GLib; "
            "app = Gio.DesktopAppInfo.new_from_filename(sys.argv[1]); "
            "print(GLib.shell_parse_argv(app.get_commandline())[1][0] if app else "
            "\"refused\", end=\"\")' " +
            entry);
        EXPECT_EQ(status, 0) << loaded;
        EXPECT_EQ(loaded, executable.string()) << name;
    }
}

// What turning `autostart` on fails with; a failure of the test when it succeeds.
std::string enableError(const Autostart& autostart) {
    try {
        autostart.setEnabled(true);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error";
    return {};
}

std::ptrdiff_t entries(const std::filesystem::path& directory) {
    return std::distance(std::filesystem::directory_iterator(directory),
                         std::filesystem::directory_iterator());
}

// Paths no loadable entry can start are refused with the reason, and nothing is written.
TEST(AutostartTest, PathsNoEntryCanHoldAreRefusedByName) {
    const std::pair<const char*, const char*> cases[] = {
        {"/opt/100%/sumiro",
         "/opt/100%/sumiro: desktop sessions cannot start a program whose path holds '%'"},
        {"/opt/bell\a/sumiro", "/opt/bell\\x07/sumiro: a desktop entry cannot hold a control"},
        {"/opt/del\x7f/sumiro", "/opt/del\\x7F/sumiro: a desktop entry cannot hold a control"},
        {"/opt/latin\xe9/sumiro", "a desktop entry holds UTF-8 text only"},
        {"/opt/overlong\xc0\xaf/sumiro", "a desktop entry holds UTF-8 text only"},
        {"/opt/surrogate\xed\xa0\x80/sumiro", "a desktop entry holds UTF-8 text only"},
    };
    for (const auto& [executable, message] : cases) {
        SCOPED_TRACE(executable);
        TempDirectory config;
        const std::string error = enableError(Autostart(config.path(), executable));
        EXPECT_THAT(error, HasSubstr("cannot start at login from /opt/"));
        EXPECT_THAT(error, HasSubstr(message));
        EXPECT_FALSE(std::filesystem::exists(config.path() / "autostart")) << executable;
    }
}

TEST(AutostartTest, TurningOnAndOffWritesAndRemovesTheEntry) {
    TempDirectory config;
    const Autostart autostart(config.path(), "/opt/sumiro/bin/sumiro");
    EXPECT_EQ(autostart.entryPath(), config.path() / "autostart" / "jp.local.Sumiro.desktop");
    EXPECT_FALSE(autostart.enabled());

    autostart.setEnabled(true);
    EXPECT_TRUE(autostart.enabled());
    const std::string text = config.read("autostart/jp.local.Sumiro.desktop");
    EXPECT_THAT(text, HasSubstr("\nExec=/opt/sumiro/bin/sumiro\n"));
    EXPECT_EQ(std::filesystem::status(autostart.entryPath()).permissions(),
              std::filesystem::perms(0644));

    autostart.setEnabled(true);  // again: the same single file, no temporary left over
    EXPECT_EQ(entries(config.path() / "autostart"), 1);

    autostart.setEnabled(false);
    EXPECT_FALSE(autostart.enabled());
    EXPECT_FALSE(std::filesystem::exists(autostart.entryPath()));
    EXPECT_NO_THROW(autostart.setEnabled(false));
}

TEST(AutostartTest, AnEntrySwitchedOffInsideCountsAsOff) {
    const std::pair<const char*, bool> cases[] = {
        {"[Desktop Entry]\nExec=sumiro\n", true},
        {"[Desktop Entry]\nExec=sumiro\nHidden=true\n", false},
        {"[Desktop Entry]\nHidden = true\n", false},
        {"[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", true},
        {"[Desktop Entry]\nExec=sumiro\n[Desktop Action x]\nHidden=true\n", true},
    };
    for (const auto& [content, on] : cases) {
        TempDirectory config;
        config.write("autostart/jp.local.Sumiro.desktop", content);
        EXPECT_EQ(Autostart(config.path(), "/usr/bin/sumiro").enabled(), on) << content;
    }
}

TEST(AutostartTest, TurningOnReplacesAnEntrySwitchedOffElsewhere) {
    TempDirectory config;
    config.write("autostart/jp.local.Sumiro.desktop", "[Desktop Entry]\nHidden=true\n");
    const Autostart autostart(config.path(), "/usr/bin/sumiro");
    autostart.setEnabled(true);
    EXPECT_TRUE(autostart.enabled());
    EXPECT_THAT(config.read("autostart/jp.local.Sumiro.desktop"), Not(HasSubstr("Hidden")));
}

// Failures name the file and the system's reason, and leave no partial file behind.
TEST(AutostartTest, FailuresNameTheFileAndLeaveNothingBehind) {
    {
        TempDirectory config;
        config.write("autostart", "a file where the directory should be");
        const std::string error = enableError(Autostart(config.path(), "/usr/bin/sumiro"));
        EXPECT_THAT(error, HasSubstr((config.path() / "autostart").string()));
        EXPECT_THAT(error, HasSubstr(": Not a directory"));
    }
    {
        TempDirectory config;
        const Autostart autostart(config.path(), "/usr/bin/sumiro");
        std::filesystem::create_directories(autostart.entryPath() / "occupied");
        EXPECT_THAT(enableError(autostart),
                    HasSubstr(autostart.entryPath().string() + ": Is a directory"));
        EXPECT_FALSE(autostart.enabled());
        EXPECT_EQ(entries(config.path() / "autostart"), 1);
        EXPECT_THROW(autostart.setEnabled(false), std::runtime_error);
    }
}

TEST(AutostartTest, CurrentUserEntryLiesInTheConfigHomeAndStartsThisProgram) {
    TempDirectory config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const Autostart autostart = Autostart::forCurrentUser();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(autostart.entryPath().parent_path(), config.path() / "autostart");
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_THAT(autostart.entryText(), HasSubstr("\nExec=" + desktopExecArgument(self) + "\n"));
}

}  // namespace
}  // namespace sumiro
