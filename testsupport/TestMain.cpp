// main() of the tests that need an application object: widgets on the offscreen platform, with
// settings in a directory of their own. The platform is named on the application's command line
// rather than in the environment, so that programs the tests start choose their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <vector>

#include "testsupport/TempDirectory.h"

int main(int argc, char** argv) {
    const sumiro::testing::TempDirectory config;
    // One offscreen screen of a common laptop's size, so the panel is never clamped to Qt's
    // small default.
    const auto screens = config.write("screens.json",
                                      R"({"screens": [{"name": "laptop", "x": 0, "y": 0,
                                          "width": 1280, "height": 800}]})");
    std::string platform = "offscreen:configfile=" + screens.string();
    std::vector<char*> arguments(argv, argv + argc);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        arguments.insert(arguments.begin() + 1, {const_cast<char*>("-platform"), platform.data()});
    }
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path().string()));
    QApplication app(count, arguments.data());
    QCoreApplication::setOrganizationName(QStringLiteral("Sumiro"));
    QCoreApplication::setApplicationName(QStringLiteral("Sumiro"));
    testing::InitGoogleTest(&count, arguments.data());
    return RUN_ALL_TESTS();
}
