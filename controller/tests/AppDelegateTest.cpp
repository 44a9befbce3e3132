// The controller driven through its panel on a fake desktop, clock and worker.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAccessible>
#include <QDeadlineTimer>
#include <QSettings>
#include <QTest>
#include <atomic>
#include <cstring>
#include <thread>

#include "controller/AppDelegate.h"
#include "controller/KeyStrip.h"
#include "controller/PadTexts.h"
#include "controller/SingleInstance.h"
#include "testsupport/FakePlatform.h"
#include "testsupport/FakeScheduler.h"
#include "testsupport/FakeWorker.h"
#include "testsupport/TempDirectory.h"

namespace sumiro {
namespace {

using namespace std::chrono_literals;

template <typename Pred>
bool waitFor(Pred pred) {
    const QDeadlineTimer deadline(10s);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

std::shared_ptr<const CharacterDatabase> smallDatabase() {
    std::vector<CharacterEntry> entries = {{"十", 2, {24}, "ジュウ", true, true},
                                           {"木", 4, {75}, "モク", true, true}};
    return std::make_shared<const CharacterDatabase>(std::move(entries),
                                                     std::vector<RawTemplate>{});
}

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override { QSettings().clear(); }

    AppDelegate& start() {
        AppDelegate::Environment environment;
        environment.platform = fake;
        environment.clock = clock;
        auto queue = std::make_unique<FakeWorker>();
        worker = queue.get();
        environment.recognizerQueue = std::move(queue);
        environment.loadDatabase = load;
        environment.trayIcon = false;
        environment.autostart = Autostart(config.path(), "/opt/sumiro/bin/sumiro");
        delegate = std::make_unique<AppDelegate>(std::move(environment));
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }
    AppDelegate& startLoaded() {
        AppDelegate& pad = start();
        EXPECT_TRUE(waitFor([&] { return pad.database != nullptr; }));
        return pad;
    }
    template <typename T = QWidget>
    T* child(const QString& name) const {
        T* found = delegate->panel->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    ActionButton* button(QWidget* parent, const QString& title) const {
        for (auto* candidate : parent->findChildren<ActionButton*>()) {
            if (candidate->text() == title) return candidate;
        }
        ADD_FAILURE() << title.toStdString();
        return nullptr;
    }

    std::shared_ptr<FakePlatform> fake = std::make_shared<FakePlatform>();
    std::shared_ptr<FakeScheduler> clock = std::make_shared<FakeScheduler>();
    FakeWorker* worker = nullptr;
    std::function<std::shared_ptr<const CharacterDatabase>()> load = smallDatabase;
    testing::TempDirectory config;  // the user's configuration directory
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, PanelOpensWhileTheDataLoadThenReportsReady) {
    AppDelegate& pad = start();
    ASSERT_TRUE(pad.panel);
    EXPECT_TRUE(pad.panel->isVisible());
    EXPECT_EQ(pad.statusLabel->text(), texts::kLoading);
    EXPECT_EQ(pad.panel->windowTitle(), u"Sumiro"_qs);
    EXPECT_EQ(pad.panel->minimumSize(), QSize(760, 490));
    EXPECT_EQ(pad.panel->size(), QSize(820, 490));
    EXPECT_EQ(pad.mode->selectedSegment(), 0);
    EXPECT_TRUE(pad.handwriting->isVisible());
    EXPECT_FALSE(pad.browsing->isVisible());
    EXPECT_FALSE(pad.keyboard->isVisible());
    EXPECT_FALSE(pad.permissionButton->isVisible());
    EXPECT_EQ(pad.targetLabel->text(), u"入力先：未選択"_qs);
    EXPECT_GE(pad.body->height(), 320);
    EXPECT_EQ(pad.ink->size(), QSize(266, 266));
    EXPECT_TRUE(pad.statusLabel->truncatesTail());
    EXPECT_TRUE(pad.detailLabel->truncatesTail());
    ASSERT_TRUE(waitFor([&] { return pad.statusLabel->text() == texts::kReady; }));
    EXPECT_TRUE(pad.database);
}

TEST_F(AppDelegateTest, AFailedLoadShowsItsReasonAndThePadStaysUsable) {
    const testing::TempDirectory dir;
    dir.write("corrupt/characters.json", "[{\"character\": ");
    dir.write("corrupt/templates.json", "[]");
    struct Case {
        std::filesystem::path resources;
        std::string reason;
    };
    const Case cases[] = {{dir.path() / "missing", "characters.json"},
                          {dir.path() / "corrupt", "characters.json"}};
    for (const Case& c : cases) {
        load = [resources = c.resources] {
            return std::make_shared<const CharacterDatabase>(resources);
        };
        AppDelegate& pad = start();
        const QString prefix = u"辞書を読み込めません："_qs;
        ASSERT_TRUE(waitFor([&] { return pad.statusLabel->text().startsWith(prefix); }));
        EXPECT_TRUE(
            pad.statusLabel->text().mid(prefix.size()).contains(QString::fromStdString(c.reason)))
            << pad.statusLabel->text().toStdString();
        EXPECT_FALSE(pad.database);
        EXPECT_TRUE(pad.panel->isVisible());
        pad.ink->setStrokes({{{0, 0}, {1, 1}}});
        pad.recognize();
        EXPECT_EQ(pad.statusLabel->text(), texts::kNotReady);
    }
}

TEST_F(AppDelegateTest, SegmentsSwitchTheModeViews) {
    AppDelegate& pad = start();
    for (int segment : {1, 2, 3, 4, 0}) {
        pad.detailLabel->setText({});
        QTest::mouseClick(pad.mode->segment(segment), Qt::LeftButton);
        const ModeViews views = modeViews(segment);
        EXPECT_EQ(pad.handwriting->isVisible(), views.handwriting) << segment;
        EXPECT_EQ(pad.browsing->isVisible(), views.browsing) << segment;
        EXPECT_EQ(pad.keyboard->isVisible(), views.keyboard) << segment;
        EXPECT_EQ(pad.detailLabel->text(), texts::kModeDetail);
    }
}

TEST_F(AppDelegateTest, WithoutPermissionTheSetupWindowWaitsForTheGrant) {
    fake->allowed = false;
    AppDelegate& pad = start();
    ASSERT_TRUE(pad.setupWindow);
    QWidget* setup = pad.setupWindow.get();
    EXPECT_TRUE(setup->isVisible());
    EXPECT_FALSE(pad.panel->isVisible());
    EXPECT_TRUE(pad.waitingForPermission);
    EXPECT_EQ(setup->windowTitle(), u"Sumiroの初回設定"_qs);
    EXPECT_EQ(setup->size(), QSize(500, 340));

    pad.checkSetupPermission();  // still missing: keeps waiting
    EXPECT_TRUE(setup->isVisible());
    auto* open = button(setup, u"システム設定を開く"_qs);
    ASSERT_TRUE(open);
    EXPECT_TRUE(open->isDefault());
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_EQ(fake->helpOpened, 1);

    fake->allowed = true;  // granted: the next tick opens the panel by itself
    pad.checkSetupPermission();
    EXPECT_TRUE(pad.panel->isVisible());
    EXPECT_FALSE(setup->isVisible());
    EXPECT_FALSE(pad.waitingForPermission);

    fake->allowed = false;  // withdrawn while the panel shows: the same window comes back
    pad.updateTarget();
    EXPECT_TRUE(pad.permissionButton->isVisibleTo(pad.panel.get()));
    pad.checkSetupPermission();
    EXPECT_EQ(pad.setupWindow.get(), setup);
    EXPECT_TRUE(setup->isVisible());
    EXPECT_FALSE(pad.panel->isVisible());

    setup->close();  // closed by the user: the grant still opens the panel
    fake->allowed = true;
    pad.checkSetupPermission();
    EXPECT_TRUE(pad.panel->isVisible());

    pad.panel->hide();  // withdrawn while the user closed the panel: nothing happens
    fake->allowed = false;
    pad.checkSetupPermission();
    EXPECT_FALSE(setup->isVisible());
    pad.permission();  // the menu item only opens the help
    EXPECT_EQ(fake->helpOpened, 2);
    EXPECT_FALSE(setup->isVisible());
}

TEST_F(AppDelegateTest, StripKeysAndCandidatesReachTheTarget) {
    AppDelegate& pad = startLoaded();
    const Application editor = fake->add({{7, 100}, u"Editor"_qs});
    fake->userActivates(editor);
    EXPECT_EQ(pad.targetLabel->text(), u"入力先：Editor"_qs);

    QWidget* strip = pad.handwriting->findChild<QWidget*>(u"keyStrip"_qs);
    ASSERT_TRUE(strip);
    for (const StripKey& key : stripKeys()) {
        ActionButton* pressed = button(strip, key.title);
        ASSERT_TRUE(pressed);
        EXPECT_EQ(pressed->toolTip(), key.toolTip);
        EXPECT_EQ(pressed->width(), 65);
        fake->expectKey(key.key);
        QTest::mouseClick(pressed, Qt::LeftButton);
        clock->advance(DirectInput::deliveryDelay);
    }

    pad.candidates->setCharacters({u"木"_qs, u"十"_qs});
    fake->expectText(U"十");
    pad.candidates->press(1);
    clock->advance(DirectInput::deliveryDelay);
    fake->verify();
    EXPECT_EQ(pad.detailLabel->text(), QString::fromStdString(pad.database->detail("十")));
    EXPECT_EQ(pad.candidates->characters(), (QStringList{u"木"_qs, u"十"_qs}));

    fake->quit(editor);
    pad.updateTarget();
    EXPECT_EQ(pad.targetLabel->text(), u"入力先：未選択"_qs);
}

TEST_F(AppDelegateTest, SixtyFiveStrokesAreRefusedAndTheCandidatesStay) {
    AppDelegate& pad = startLoaded();
    pad.candidates->setCharacters({u"木"_qs});
    pad.ink->setStrokes(Ink(65, Stroke{{0.1, 0.1}, {0.9, 0.9}}));
    QTest::mouseClick(button(pad.handwriting, u"認識"_qs), Qt::LeftButton);
    EXPECT_EQ(pad.statusLabel->text(), texts::kTooManyStrokes);
    EXPECT_EQ(pad.inkCount->text(), u"65画"_qs);
    clock->advance(1s);
    EXPECT_EQ(worker->queued(), 0u);
    EXPECT_EQ(pad.candidates->characters(), QStringList{u"木"_qs});

    QTest::mouseClick(button(pad.handwriting, u"一画戻す"_qs), Qt::LeftButton);
    EXPECT_EQ(pad.statusLabel->text(), texts::kRecognizing);
    clock->advance(RecognitionScheduler::kDelay);
    EXPECT_EQ(worker->queued(), 1u);
    QTest::mouseClick(button(pad.handwriting, u"消去"_qs), Qt::LeftButton);
    EXPECT_EQ(pad.statusLabel->text(), texts::kEmptyInk);
    EXPECT_TRUE(pad.candidates->characters().isEmpty());
}

TEST_F(AppDelegateTest, CtrlZUndoesAStrokeInEveryModeAndCtrlShiftZPasses) {
    AppDelegate& pad = start();
    pad.ink->setStrokes(Ink(2, Stroke{{0.1, 0.1}, {0.9, 0.9}}));
    QTest::keyClick(pad.panel.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pad.ink->strokes().size(), 2u);
    QTest::keyClick(pad.panel.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pad.ink->strokes().size(), 1u);
    QTest::mouseClick(pad.mode->segment(4), Qt::LeftButton);
    QTest::keyClick(pad.panel.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pad.ink->strokes().size(), 0u);
    QTest::keyClick(pad.panel.get(), Qt::Key_Z, Qt::ControlModifier);  // empty: still swallowed
    EXPECT_EQ(pad.inkCount->text(), u"0画"_qs);
}

TEST_F(AppDelegateTest, TheFrameComesBackAndACorruptSettingsFileGivesTheDefault) {
    {
        AppDelegate& pad = start();
        pad.panel->resize(900, 600);
        pad.quit();
    }
    EXPECT_EQ(QSettings().value(u"SumiroWindow"_qs).toRect().size(), QSize(900, 600));
    delegate.reset();
    EXPECT_EQ(start().panel->size(), QSize(900, 600));
    delegate.reset();

    const QString file = QSettings().fileName();
    for (const QByteArray& garbage :
         {QByteArray("[General]\nSumiroWindow=@Rect(12 x\n"), QByteArray("\x01\xff\0\x7f[", 5),
          QByteArray("[General]\nSumiroWindow=@ByteArray(\\x1\\x2)\n")}) {
        QSettings().sync();
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(garbage);
        out.close();
        EXPECT_EQ(start().panel->size(), QSize(820, 490));
        delegate.reset();
    }
}

TEST_F(AppDelegateTest, TheStatusMenuHoldsItsItemsAlsoOnTheHeaderRow) {
    AppDelegate& pad = start();
    ASSERT_TRUE(pad.statusMenu);
    QStringList titles;
    for (QAction* item : pad.statusMenu->actions()) {
        titles.push_back(item->isSeparator() ? u"-"_qs : item->text());
    }
    EXPECT_EQ(titles,
              (QStringList{u"Sumiroを表示"_qs, u"入力の許可を設定…"_qs, u"使い方・ライセンス"_qs,
                           u"ログイン時に起動"_qs, u"-"_qs, u"Sumiroを終了"_qs}));
    EXPECT_EQ(pad.statusMenu->actions().last()->shortcut(), QKeySequence(u"Ctrl+Q"_qs));
    EXPECT_EQ(pad.headerRow->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_TRUE(pad.headerRow->isAncestorOf(pad.targetLabel));
    EXPECT_FALSE(pad.statusItem);  // no tray asked for
    pad.panel->hide();
    pad.statusMenu->actions().first()->trigger();
    EXPECT_TRUE(pad.panel->isVisible());
}

// Off by default; the item writes and removes the user's autostart entry, follows changes made
// elsewhere each time the menu opens, and reports a failure on the status line.
TEST_F(AppDelegateTest, TheLoginItemTurnsTheAutostartEntryOnAndOff) {
    AppDelegate& pad = start();
    const std::filesystem::path entry = config.path() / "autostart" / "jp.local.Sumiro.desktop";
    ASSERT_TRUE(pad.loginItem);
    EXPECT_TRUE(pad.loginItem->isCheckable());
    EXPECT_FALSE(pad.loginItem->isChecked());
    EXPECT_EQ(pad.loginItem->objectName(), u"ログイン時に起動"_qs);
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(pad.statusMenu.get());
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (int i = 0; i < menu->childCount(); ++i)
        names.push_back(menu->child(i)->text(QAccessible::Name));
    EXPECT_TRUE(names.contains(u"ログイン時に起動"_qs)) << names.join(u',').toStdString();

    pad.loginItem->trigger();
    EXPECT_TRUE(pad.loginItem->isChecked());
    EXPECT_NE(
        config.read(entry.lexically_relative(config.path())).find("Exec=/opt/sumiro/bin/sumiro\n"),
        std::string::npos);

    std::filesystem::remove(entry);
    emit pad.statusMenu->aboutToShow();
    EXPECT_FALSE(pad.loginItem->isChecked());

    // A directory where the entry should go: the write fails, the item stays off.
    std::filesystem::create_directories(entry / "occupied");
    pad.loginItem->trigger();
    EXPECT_FALSE(pad.loginItem->isChecked());
    EXPECT_TRUE(pad.statusLabel->text().startsWith(u"ログイン時の起動を設定できません："_qs))
        << pad.statusLabel->text().toStdString();
    EXPECT_TRUE(pad.statusLabel->text().contains(QString::fromStdString(entry.string())));
}

TEST_F(AppDelegateTest, EveryControlIsListedUnderItsTitle) {
    AppDelegate& pad = start();
    QStringList names;
    for (auto* control : pad.panel->findChildren<QAbstractButton*>()) {
        QAccessibleInterface* element = QAccessible::queryAccessibleInterface(control);
        ASSERT_TRUE(element);
        EXPECT_EQ(element->text(QAccessible::Name), control->text());
        EXPECT_TRUE(element->actionInterface());
        names.push_back(control->text());
    }
    for (const QString& title : {u"手書き"_qs, u"ソフトキーボード"_qs, u"一画戻す"_qs, u"認識"_qs,
                                 u"⌫"_qs, u"↓"_qs, u"使い方"_qs, u"入力を許可…"_qs}) {
        EXPECT_TRUE(names.contains(title)) << title.toStdString();
    }
}

TEST(SingleInstanceTest, AStaleSocketNeverBlocksAndALaterStartReachesThePad) {
    const testing::TempDirectory dir;
    const QString name = QString::fromStdString((dir.path() / "sumiro-test").string());
    {
        // What a crashed pad leaves: a socket file nobody listens on.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, name.toUtf8().constData(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    EXPECT_FALSE(askRunningPadToShow(name));
    int reopened = 0;
    SingleInstance instance(name, [&] { ++reopened; });
    ASSERT_TRUE(instance.listening());
    std::atomic<bool> answered = false;
    std::thread second([&] { answered = askRunningPadToShow(name); });
    EXPECT_TRUE(waitFor([&] { return answered.load(); }));
    second.join();
    EXPECT_EQ(reopened, 1);
    EXPECT_TRUE(answered);
}

}  // namespace
}  // namespace sumiro
