// The controller's decisions without a display: recognition scheduling on a fake clock and
// worker, the texts, the mode table, the permission steps, the undo shortcut and the frame.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QScopeGuard>

#include "controller/KeyStrip.h"
#include "controller/Language.h"
#include "controller/Mode.h"
#include "controller/PadTexts.h"
#include "controller/PanelFrame.h"
#include "controller/RecognitionScheduler.h"
#include "controller/SingleInstance.h"
#include "controller/UndoShortcut.h"
#include "testsupport/FakeScheduler.h"
#include "testsupport/FakeWorker.h"
#include "testsupport/TempDirectory.h"

namespace sumiro {
namespace {

using namespace std::chrono_literals;

Ink strokes(int count) { return Ink(static_cast<std::size_t>(count), Stroke{{0, 0}, {1, 1}}); }

class RecognitionSchedulerTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeScheduler> clock = std::make_shared<FakeScheduler>();
    FakeWorker worker;
    QString inkCount, status;
    QStringList shown{QStringLiteral("前")};
    bool current = true;                  // whether the candidates shown may be picked
    std::vector<std::size_t> recognized;  // stroke counts the recognizer was asked about
    // clang-format off
    RecognitionScheduler scheduler{clock, worker,
                                   {.inkCount = [this](const QString& t) { inkCount = t; },
                                    .status = [this](const QString& t) { status = t; },
                                    .candidates = [this](const QStringList& c) { shown = c; },
                                    .candidatesCurrent = [this](bool c) { current = c; }}};
    // clang-format on

    RecognitionScheduler::Recognizer recognizer(std::vector<std::string> result = {"十", "木"},
                                                Scheduler::Duration takes = 0.0439s) {
        return [this, result, takes](const Ink& ink) {
            recognized.push_back(ink.size());
            clock->advance(takes);
            return result;
        };
    }
    // Runs what the worker got and hands the results back.
    void work() {
        while (worker.runNext()) continue;
        worker.deliver();
    }
    // Lets the delay pass, then works.
    void settle() {
        clock->advance(RecognitionScheduler::kDelay);
        work();
    }
};

TEST_F(RecognitionSchedulerTest, ChecksEmptyInkThenMissingDataThenTheStrokeLimit) {
    struct Case {
        int strokes;
        bool data;
        QString status;
        bool cleared, scheduled;
    };
    const Case cases[] = {
        {0, false, texts::emptyInk(), true, false},
        {0, true, texts::emptyInk(), true, false},
        {1, false, texts::notReady(), false, false},
        {65, false, texts::notReady(), false, false},
        {65, true, texts::tooManyStrokes(), false, false},
        {64, true, texts::recognizing(), false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strokes);
        shown = {QStringLiteral("前")};
        scheduler.request(strokes(c.strokes), c.data ? recognizer() : nullptr);
        EXPECT_EQ(inkCount, QString::number(c.strokes) + QStringLiteral("画"));
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(shown, c.cleared ? QStringList() : QStringList{QStringLiteral("前")});
        // Candidates of an earlier ink stay in view, not to be picked, until this ink's come.
        EXPECT_EQ(current, c.cleared);
        clock->advance(RecognitionScheduler::kDelay);
        EXPECT_EQ(worker.queued(), c.scheduled ? 1u : 0u);
        work();
        EXPECT_EQ(current, c.cleared || c.scheduled);
    }
    EXPECT_EQ(recognized, std::vector<std::size_t>{64});
}

TEST_F(RecognitionSchedulerTest, ABurstOfStrokesIsRecognizedOnceAfterThePause) {
    for (int count = 1; count <= 3; ++count) {
        scheduler.request(strokes(count), recognizer());
        clock->advance(0.1s);
    }
    EXPECT_EQ(worker.queued(), 0u);  // 0.1 s after the last: still waiting
    clock->advance(0.08s);
    EXPECT_EQ(worker.queued(), 1u);
    settle();
    EXPECT_EQ(recognized, std::vector<std::size_t>{3});
    EXPECT_EQ(scheduler.generation(), 3);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("十"), QStringLiteral("木")}));
    EXPECT_EQ(status, QStringLiteral("2候補・43ms\u3000候補をクリックして入力"));
}

TEST_F(RecognitionSchedulerTest, OnlyTheLatestRequestsResultIsShown) {
    // Queued but not started when the next request comes: it never runs.
    scheduler.request(strokes(1), recognizer({"一"}));
    clock->advance(RecognitionScheduler::kDelay);
    scheduler.request(strokes(2), recognizer({"二"}));
    EXPECT_TRUE(worker.runNext());
    EXPECT_TRUE(recognized.empty());
    EXPECT_EQ(status, texts::recognizing());

    // Running when the next request comes: it finishes, and its result is dropped.
    settle();
    scheduler.request(strokes(3), recognizer({"三"}));
    clock->advance(RecognitionScheduler::kDelay);
    EXPECT_TRUE(worker.runNext());
    scheduler.request(strokes(4), recognizer({"四"}));
    EXPECT_EQ(worker.deliver(), 1);
    EXPECT_EQ(status, texts::recognizing());
    EXPECT_EQ(shown, QStringList{QStringLiteral("二")});
    EXPECT_FALSE(current) << "a candidate of the ink before could be picked";
    settle();
    EXPECT_EQ(recognized, (std::vector<std::size_t>{2, 3, 4}));
    EXPECT_EQ(shown, QStringList{QStringLiteral("四")});
    EXPECT_TRUE(current);

    // Cleared while a recognition is pending: the grid stays empty.
    scheduler.request(strokes(5), recognizer({"五"}));
    scheduler.request({}, recognizer());
    settle();
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(status, texts::emptyInk());
}

TEST_F(RecognitionSchedulerTest, ResultsArrivingAfterTheSchedulerIsGoneAreDropped) {
    auto gone = std::make_unique<RecognitionScheduler>(
        clock, worker,
        RecognitionScheduler::Display{[](const QString&) {}, [](const QString&) {},
                                      [](const QStringList&) { FAIL(); }, [](bool) {}});
    gone->request(strokes(1), recognizer());
    clock->advance(RecognitionScheduler::kDelay);
    EXPECT_TRUE(worker.runNext());
    gone.reset();
    EXPECT_EQ(worker.deliver(), 1);
}

TEST(PadTextsTest, TextsWordForWord) {
    const std::pair<QString, QString> cases[] = {
        {showCandidates({"十"}, 0.0439s).status, u"1候補・43ms　候補をクリックして入力"_qs},
        {showCandidates({"a", "b"}, 0.9999s).status, u"2候補・999ms　候補をクリックして入力"_qs},
        {showCandidates({}, 0.01s).status, u"候補がありません。文字を書き直してください"_qs},
        {texts::loadFailed(u"characters.json: missing"_qs),
         u"辞書を読み込めません：characters.json: missing"_qs},
        {texts::strokeCount(12), u"12画"_qs},
        {texts::targetLabel(std::nullopt), u"入力先：未選択"_qs},
        {texts::targetLabel(u"gedit"_qs), u"入力先：gedit"_qs},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
    EXPECT_EQ(showCandidates({"十"}, 0s).status.indexOf(QChar(0x3000)), 7);
    EXPECT_EQ(showCandidates({"𠮷", "十"}, 0s).characters, (QStringList{u"𠮷"_qs, u"十"_qs}));
}

// A character matched several times (its templates, also with joined strokes) shows once,
// where it ranks best, and the count counts characters.
TEST(PadTextsTest, EachCandidateCharacterOnceAtItsBestRank) {
    const CandidateDisplay shown = showCandidates({"口", "ロ", "口", "日", "ロ", "口"}, 0.002s);
    EXPECT_EQ(shown.characters, (QStringList{u"口"_qs, u"ロ"_qs, u"日"_qs}));
    EXPECT_EQ(shown.status, u"3候補・2ms　候補をクリックして入力"_qs);
}

// The pad speaks the first of Japanese and English among the user's languages, else Japanese.
TEST(LanguageTest, TheUsersFirstOfJapaneseAndEnglishElseJapanese) {
    const std::pair<QStringList, Language> cases[] = {
        // clang-format off
        {{u"en-US"_qs, u"en-Latn-US"_qs, u"en"_qs}, Language::English},
        {{u"ja-JP"_qs, u"ja"_qs}, Language::Japanese},
        {{u"de-DE"_qs, u"de"_qs}, Language::Japanese},
        {{u"de"_qs, u"en"_qs}, Language::English},  // LANGUAGE=de:en
        {{u"fr"_qs, u"ja"_qs, u"en"_qs}, Language::Japanese},
        {{u"C"_qs}, Language::Japanese}, {{}, Language::Japanese},
        // clang-format on
    };
    for (const auto& [languages, expected] : cases)
        EXPECT_EQ(preferredLanguage(languages), expected) << languages.join(u':').toStdString();
    EXPECT_EQ(languageNamed("ja"), Language::Japanese);
    EXPECT_EQ(languageNamed("en"), Language::English);
    for (const char* other : {"", "EN", "en_US", "fr"})
        EXPECT_EQ(languageNamed(other), std::nullopt);
}

TEST(ModeTableTest, SegmentsSelectTheirModes) {
    const std::pair<int, std::optional<Mode>> cases[] = {
        {0, Mode::Handwriting}, {1, Mode::Ranges},  {2, Mode::StrokeCounts}, {3, Mode::Radicals},
        {4, Mode::Keyboard},    {-1, std::nullopt}, {5, std::nullopt},
    };
    for (const auto& [segment, mode] : cases) EXPECT_EQ(modeAt(segment), mode) << segment;
    EXPECT_EQ(modeTitle(Mode::Handwriting), u"手書き"_qs);
    EXPECT_EQ(modeTitle(Mode::Keyboard), u"ソフトキーボード"_qs);
}

TEST(SetupStepTest, PermissionTransitions) {
    struct Case {
        bool waiting, permitted, visible;
        SetupStep step;
    };
    const Case cases[] = {
        {true, true, false, SetupStep::ShowPanel},  {true, true, true, SetupStep::ShowPanel},
        {true, false, true, SetupStep::None},       {true, false, false, SetupStep::None},
        {false, true, true, SetupStep::None},       {false, true, false, SetupStep::None},
        {false, false, true, SetupStep::ShowSetup}, {false, false, false, SetupStep::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(setupStep(c.waiting, c.permitted, c.visible), c.step)
            << c.waiting << c.permitted << c.visible;
}

TEST(UndoShortcutTest, SwallowsCtrlZAndPassesEverythingElse) {
    int undone = 0;
    UndoShortcut filter([&] { ++undone; });
    QObject target;
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool swallowed;
    };
    const Case cases[] = {
        {Qt::Key_Z, Qt::ControlModifier, true},
        {Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier, true},
        {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, false},
        {Qt::Key_Z, Qt::NoModifier, false},
        {Qt::Key_Y, Qt::ControlModifier, false},
    };
    for (const Case& c : cases) {
        QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers);
        const int before = undone;
        EXPECT_EQ(filter.eventFilter(&target, &press), c.swallowed) << c.key << c.modifiers;
        EXPECT_EQ(undone - before, c.swallowed ? 1 : 0);
    }
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(filter.eventFilter(&target, &release));
}

TEST(PanelFrameTest, OpensCentredAtTheSavedSizeOnAScreenThatHoldsIt) {
    const QList<QRect> screens = {{0, 0, 1280, 800}, {1280, 0, 1920, 1080}};
    struct Case {
        std::optional<QRect> saved;
        QRect placed;
    };
    const Case cases[] = {
        {std::nullopt, {230, 155, 820, 490}},                 // nothing saved: default, centred
        {QRect(100, 100, 900, 600), {190, 100, 900, 600}},    // saved size survives
        {QRect(1500, 50, 900, 600), {1790, 240, 900, 600}},   // on the second monitor
        {QRect(5000, 3000, 900, 600), {190, 100, 900, 600}},  // its monitor is gone
        {QRect(-500, -500, 3000, 2000), {0, 0, 1280, 800}},   // larger than the screen
        {QRect(0, 0, 100, 100), {260, 155, 760, 490}},        // below the minimum
    };
    for (const Case& c : cases)
        EXPECT_EQ(placeFrame(c.saved, kPanelSize, kPanelMinimumSize, screens), c.placed)
            << (c.saved ? c.saved->x() : -1);
}

// One key per display however it is named, and a directory only the user can use.
TEST(SingleInstanceTest, OneKeyPerDisplayInAPrivateDirectory) {
    const QString x11 = u"xcb"_qs;
    for (const QString& same : {u":0"_qs, u":0.0"_qs, u"unix:0"_qs, u"unix:0.1"_qs})
        EXPECT_EQ(displayKey(x11, same, {}), u"x11-0"_qs) << same.toStdString();
    EXPECT_EQ(displayKey(x11, u":1"_qs, {}), u"x11-1"_qs);
    EXPECT_EQ(displayKey(x11, u"host:10.0"_qs, {}), u"x11-host-10"_qs);
    EXPECT_EQ(displayKey(u"wayland"_qs, u":0"_qs, u"wayland-1"_qs), u"wayland-wayland-1"_qs);
    EXPECT_EQ(displayKey(u"offscreen"_qs, u":0"_qs, {}), u"offscreen-x11-0"_qs);

    const testing::TempDirectory dir;
    const QString root = QString::fromStdString(dir.path().string());
    const uint user = ::getuid();
    const QString runtime = root + u"/runtime"_qs;
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(privateDirectory(runtime, user), runtime);
    const QByteArray temporary = qgetenv("TMPDIR");
    const auto restore = qScopeGuard(
        [&] { temporary.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", temporary); });
    qputenv("TMPDIR", QFile::encodeName(root));
    const QString fallback = root + u"/sumiro-"_qs + QString::number(user);
    // Relative, open to others, or another user's: the private directory in the temporary one.
    EXPECT_EQ(privateDirectory(u"runtime"_qs, user), fallback);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                       QFile::ReadOther | QFile::ExeOther);
    EXPECT_EQ(privateDirectory(runtime, user), fallback);
    EXPECT_EQ(privateDirectory(runtime, user + 1), std::nullopt) << "made by another user";
    EXPECT_FALSE(QFile::permissions(fallback) & (QFile::ReadOther | QFile::ReadGroup));
}

TEST(KeyStripTest, NineKeysWithTheirKeysAndTooltips) {
    // clang-format off
    const std::array<Key, 9> keys = {Key::BackSpace, Key::Delete, Key::Return, Key::Space,
                                     Key::Escape, Key::Left, Key::Right, Key::Up, Key::Down};
    // clang-format on
    const std::array<StripKey, 9> strips = stripKeys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const StripKey& strip = strips[i];
        EXPECT_EQ(strip.key, keys[i]) << i;
        EXPECT_EQ(strip.toolTip, i == 0 ? u"前の文字を削除"_qs : strip.title);
    }
}

TEST(FakeSchedulerTest, RunsDueWorkInOrderAndNotCancelledWork) {
    FakeScheduler clock;
    std::vector<int> ran;
    QObject context;
    auto cancelled = std::make_unique<QObject>();
    clock.after(0.3s, context, [&] { ran.push_back(3); });
    clock.after(0.1s, context, [&] { ran.push_back(1); });
    clock.after(0.2s, *cancelled, [&] { ran.push_back(2); });
    cancelled.reset();
    clock.advance(0.25s);
    EXPECT_EQ(ran, std::vector<int>{1});
    clock.advance(0.05s);
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
    EXPECT_EQ(clock.pending(), 0u);
}

}  // namespace
}  // namespace sumiro
