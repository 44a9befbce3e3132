#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "desktop/Autostart.h"
#include "testsupport/TempDirectory.h"

namespace sumiro {
namespace {

using ::testing::HasSubstr;
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
    for (const Case& c : cases) {
        EXPECT_EQ(userConfigHome(c.xdg, c.home), std::filesystem::path(c.expected))
            << (c.xdg ? c.xdg : "(unset)") << " / " << (c.home ? c.home : "(unset)");
    }
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
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(desktopExecArgument(path), expected) << path;
    }
}

// The written entry must be one the desktop's own tools accept, whatever the executable's path.
TEST(AutostartTest, EntryIsValidForEveryExecutablePath) {
    for (const char* executable :
         {"/usr/bin/sumiro", "/opt/My Apps/sumiro", "/home/a$b \"q\" back\\slash/100%/sumiro"}) {
        TempDirectory config;
        const Autostart autostart(config.path(), executable);
        autostart.setEnabled(true);
        const std::string command =
            "desktop-file-validate '" + autostart.entryPath().string() + "' 2>&1";
        std::string output;
        FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        EXPECT_EQ(::pclose(pipe), 0) << executable << "\n" << output;
        EXPECT_EQ(output, "") << executable;
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
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(config.path() / "autostart"),
                            std::filesystem::directory_iterator()),
              1);

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
        const Autostart autostart(config.path(), "/usr/bin/sumiro");
        try {
            autostart.setEnabled(true);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(), HasSubstr((config.path() / "autostart").string()));
            EXPECT_THAT(error.what(), HasSubstr(": Not a directory"));
        }
    }
    {
        TempDirectory config;
        const Autostart autostart(config.path(), "/usr/bin/sumiro");
        std::filesystem::create_directories(autostart.entryPath() / "occupied");
        try {
            autostart.setEnabled(true);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(),
                        HasSubstr(autostart.entryPath().string() + ": Is a directory"));
        }
        EXPECT_FALSE(autostart.enabled());
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(config.path() / "autostart"),
                                std::filesystem::directory_iterator()),
                  1);
        EXPECT_THROW(autostart.setEnabled(false), std::runtime_error);
    }
}

TEST(AutostartTest, CurrentUserEntryLiesInTheConfigHomeAndStartsThisProgram) {
    TempDirectory config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const Autostart autostart = Autostart::forCurrentUser();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(autostart.entryPath().parent_path(), config.path() / "autostart");
    EXPECT_THAT(
        autostart.entryText(),
        HasSubstr(
            "\nExec=" + desktopExecArgument(std::filesystem::canonical("/proc/self/exe").string()) +
            "\n"));
}

}  // namespace
}  // namespace sumiro
