#include "testsupport/SharedSession.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>

namespace sumiro::testing {

namespace {

std::unique_ptr<XSession> x;
std::unique_ptr<InputMethodSession> im;
std::string missing;

}  // namespace

XSession& sharedSession() { return *x; }

InputMethodSession* sharedInputMethod() { return im.get(); }

const std::string& inputMethodMissing() { return missing; }

int runInSharedSession(int argc, char** argv, std::optional<InputMethodSession::Kind> kind) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    // The pad's settings go to a scratch directory, not the user's.
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    std::string error;
    x = XSession::start(error);
    if (!x) {
        std::fprintf(stderr, "no X session: %s\n", error.c_str());
        return 1;
    }
    qputenv("QT_IM_MODULE", "");
    if (kind) missing = InputMethodSession::missing(*kind);
    if (kind && missing.empty()) {
        im = InputMethodSession::start(*x, *kind, error);
        if (!im) {
            std::fprintf(stderr, "the input method did not start: %s\n", error.c_str());
            return 1;
        }
        for (const auto& [name, value] : im->clientEnvironment()) {
            qputenv(name.toLocal8Bit().constData(), value.toLocal8Bit());
        }
    }
    qputenv("DISPLAY", QByteArray::fromStdString(x->display()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 0;
    {
        QApplication application(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("Sumiro"));
        QCoreApplication::setApplicationName(QStringLiteral("Sumiro"));
        result = RUN_ALL_TESTS();
    }
    im.reset();
    x.reset();
    return result;
}

}  // namespace sumiro::testing
