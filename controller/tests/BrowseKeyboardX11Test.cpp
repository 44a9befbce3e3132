// End to end on a private Xvfb with openbox: the pad runs in this process on the real X11
// platform, the recording target in its own, and every click and key is a real X event made
// with xdotool. Every wait is on a condition with a deadline.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "controller/AppDelegate.h"
#include "testsupport/Widgets.h"
#include "testsupport/XSession.h"
#include "views/CharacterGrid.h"
#include "views/GridLayout.h"
#include "views/PadPanel.h"
#include "views/SegmentedControl.h"
#include "views/ViewHelpers.h"

namespace sumiro {
namespace {

using testing::Child;
using testing::XSession;

constexpr int timeoutMs = 15000;

XSession* session = nullptr;

bool xdotool(const QStringList& arguments) {
    return session->run(QStringList{QStringLiteral("xdotool")} + arguments);
}

bool click(QPoint global) { return session->click(global); }

bool click(const QWidget* widget) { return click(widget->mapToGlobal(widget->rect().center())); }

class BrowseKeyboardX11 : public ::testing::Test {
protected:
    void SetUp() override {
        targetProcess =
            session->spawn({SUMIRO_INPUT_TARGET, log},
                           {{"QT_QPA_PLATFORM", "xcb"}, {"QT_IM_MODULE", ""}, {"XMODIFIERS", ""}});
        ASSERT_TRUE(session->poll([&] {
            return (targetWindow = session->windowOf(targetProcess->processId()));
        })) << "the recording target's window was never managed";
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                session->activate(targetWindow);
                return QTest::qWaitFor([&] { return focused(); }, 500);
            },
            timeoutMs))
            << "the recording target never got the focus";

        auto environment =
            AppDelegate::systemEnvironment(std::filesystem::path(SUMIRO_RESOURCE_DIR));
        environment.trayIcon = false;
        pad = std::make_unique<AppDelegate>(std::move(environment));
        pad->applicationDidFinishLaunching();
        ASSERT_TRUE(pad->panel() && QTest::qWaitForWindowExposed(pad->panel(), timeoutMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return pad->database() != nullptr; }, timeoutMs))
            << widget<TextLabel>("statusLabel")->text().toStdString();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return pad->input().target() &&
                       pad->input().target()->pid == targetProcess->processId();
            },
            timeoutMs))
            << "the recording target never became the target";
    }

    // What the target wrote down so far.
    QByteArray logText() const {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool focused() const {
        const QByteArray text = logText();
        return text.lastIndexOf("focus in") > text.lastIndexOf("focus out");
    }
    // The texts and keys the target received, in order.
    std::vector<std::string> received() const {
        std::vector<std::string> out;
        for (const QByteArray& line : logText().split('\n')) {
            if (!line.isEmpty() && !line.startsWith("focus")) out.push_back(line.toStdString());
        }
        return out;
    }
    bool targetActive() {
        return QTest::qWaitFor([&] { return session->activeWindow() == targetWindow; }, timeoutMs);
    }
    void chooseMode(int segment) {
        ASSERT_TRUE(click(widget<SegmentedControl>("mode")->segment(segment)));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return widget<SegmentedControl>("mode")->selectedSegment() == segment; },
            timeoutMs));
    }

    QTemporaryDir directory;
    QString log = directory.filePath(QStringLiteral("target.log"));
    Child targetProcess;
    std::uint64_t targetWindow = 0;
    template <typename T = QWidget>
    T* widget(const char* name) const {
        return testing::child<T>(pad->panel(), QString::fromLatin1(name));
    }

    std::unique_ptr<AppDelegate> pad;
};

TEST_F(BrowseKeyboardX11, TypingACodeInTheSearchFieldThenClickingTheResultTypesIt) {
    chooseMode(1);
    ASSERT_TRUE(click(widget("searchField")));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return widget<QLineEdit>("searchField")->hasFocus(); }, timeoutMs))
        << "the search field never got the keyboard";
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"),
                         QStringLiteral("U+6728")}));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return widget<CharacterGrid>("browseGrid")->characters() ==
                   QStringList{QStringLiteral("木")};
        },
        timeoutMs))
        << widget<QLineEdit>("searchField")->text().toStdString();
    EXPECT_EQ(widget<TextLabel>("resultLabel")->text(), QStringLiteral("1文字"));
    EXPECT_TRUE(received().empty()) << "typing in the field reached the target";

    const QRectF cell = GridLayout(widget<CharacterGrid>("browseGrid")->width(), 1).pitchRect(0);
    ASSERT_TRUE(click(widget<CharacterGrid>("browseGrid")->mapToGlobal(cell.center().toPoint())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !received().empty(); }, timeoutMs));
    EXPECT_EQ(received(), std::vector<std::string>{"text 6728 mods 0"});
    EXPECT_TRUE(targetActive()) << "active " << session->activeWindow();
    EXPECT_FALSE(pad->panel()->acceptsKeyboard());
    EXPECT_FALSE(widget<QLineEdit>("searchField")->hasFocus());

    // Escape ends the typing in the field and hands the keyboard back to the target.
    ASSERT_TRUE(click(widget("searchField")));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return widget<QLineEdit>("searchField")->hasFocus(); }, timeoutMs));
    ASSERT_TRUE(
        xdotool({QStringLiteral("key"), QStringLiteral("BackSpace"), QStringLiteral("Escape")}));
    EXPECT_TRUE(targetActive()) << "active " << session->activeWindow();
    EXPECT_EQ(widget<QLineEdit>("searchField")->text(), QStringLiteral("U+672"));
    EXPECT_EQ(received(), std::vector<std::string>{"text 6728 mods 0"});
}

TEST_F(BrowseKeyboardX11, AKatakanaKeyTypesItsCharacter) {
    chooseMode(4);
    auto* layouts = widget<QComboBox>("keyboardMode");
    ASSERT_TRUE(click(layouts));
    QAbstractItemView* items = layouts->view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return items->isVisible(); }, timeoutMs));
    QTest::qWait(0);
    const QRect item = items->visualRect(layouts->model()->index(1, 0));
    ASSERT_TRUE(click(items->viewport()->mapToGlobal(item.center())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return layouts->currentIndex() == 1; }, timeoutMs));
    EXPECT_TRUE(targetActive()) << "choosing a layout took the focus";

    QAbstractButton* a = nullptr;
    for (auto* key : widget("keyboardBody")->findChildren<QAbstractButton*>()) {
        if (key->text() == QStringLiteral("ア")) a = key;
    }
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(a->window()));
    ASSERT_TRUE(click(a));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !received().empty(); }, timeoutMs));
    EXPECT_EQ(received(), std::vector<std::string>{"text 30A2 mods 0"});
    EXPECT_TRUE(targetActive()) << "active " << session->activeWindow();
}

}  // namespace
}  // namespace sumiro

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();  // test discovery needs no display
    // The pad's settings go to a scratch directory, not the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    std::string error;
    const auto started = sumiro::testing::XSession::start(error);
    if (!started) {
        std::fprintf(stderr, "no X session: %s\n", error.c_str());
        return 1;
    }
    sumiro::session = started.get();
    qputenv("DISPLAY", QByteArray::fromStdString(started->display()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("QT_IM_MODULE", "");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Sumiro"));
    QCoreApplication::setApplicationName(QStringLiteral("Sumiro"));
    return RUN_ALL_TESTS();
}
