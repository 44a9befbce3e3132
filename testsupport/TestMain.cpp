// Controller tests run on the offscreen platform with settings in a directory of their own.
#include <gtest/gtest.h>

#include <QApplication>

#include "testsupport/TempDirectory.h"

int main(int argc, char** argv) {
    const sumiro::testing::TempDirectory config;
    // One offscreen screen of a common laptop's size, so the panel is never clamped to Qt's
    // small default.
    const auto screens = config.write("screens.json",
                                      R"({"screens": [{"name": "laptop", "x": 0, "y": 0,
                                          "width": 1280, "height": 800}]})");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QByteArray::fromStdString(screens));
    }
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path().string()));
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Sumiro"));
    QCoreApplication::setApplicationName(QStringLiteral("Sumiro"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
