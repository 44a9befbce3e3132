// The controller driven through its panel on a fake desktop, clock and worker.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBoundaryFinder>
#include <QTranslator>
#include <atomic>
#include <cstring>
#include <thread>

#include "controller/KeyStrip.h"
#include "controller/Language.h"
#include "controller/PadTexts.h"
#include "controller/RecognitionScheduler.h"
#include "controller/SetupWindow.h"
#include "controller/SingleInstance.h"
#include "controller/StatusMenu.h"
#include "controller/tests/PadFixture.h"
#include "engine/ResourceDirectory.h"
#include "input/HelpPage.h"
#include "views/CharacterGrid.h"
#include "views/InkView.h"
#include "views/SegmentedControl.h"
#include "views/ViewHelpers.h"

namespace sumiro {
namespace {

using namespace std::chrono_literals;
using testing::titled;

std::shared_ptr<const CharacterDatabase> smallDatabase() {
    std::vector<CharacterEntry> entries = {
        {"十", 2, {24}, "ジュウ", true, true},
        {"木", 4, {75}, "モク", true, true},
        {"上",
         3,
         {1},
         "ジョウ、ショウ、シャン、うえ、うわ、かみ、あ(げる)、あ(がる)、のぼ(る)",
         true,
         true}};
    MeaningTable meanings;
    meanings.add(0, {"ten"});
    meanings.add(1, {"tree", "wood"});
    return std::make_shared<const CharacterDatabase>(std::move(entries), std::move(meanings),
                                                     std::vector<RawTemplate>{});
}

// What a user reads on the controls under `root` that it shows: titles, labels, pop-up items,
// placeholders, tool tips and accessible names. Left out are texts of one character (keys and
// grid cells show characters), the radicals and font names the browse pop-ups list, and the
// detail and status lines, which show characters and readings.
QStringList shownTexts(const QWidget* root) {
    QStringList texts{root->windowTitle()};
    for (const QWidget* widget : root->findChildren<const QWidget*>()) {
        const QString name = widget->objectName();
        if (!widget->isVisibleTo(root) ||
            QStringList{u"radicalPopup"_qs, u"fontPopup"_qs, u"detailLabel"_qs, u"statusLabel"_qs}
                .contains(name)) {
            continue;
        }
        texts << widget->toolTip() << widget->accessibleName();
        if (const auto* line = qobject_cast<const QLabel*>(widget)) texts << line->text();
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts << button->text();
        if (const auto* field = qobject_cast<const QLineEdit*>(widget))
            texts << field->placeholderText();
        if (const auto* box = qobject_cast<const QComboBox*>(widget))
            for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    }
    texts.removeIf([](const QString& text) {
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
        return graphemes.toNextBoundary() == text.size() || text.isEmpty();
    });
    return texts;
}

const QRegularExpression kJapanese(
    u"[\\p{Hiragana}\\p{Katakana}\\p{Han}\\x{3000}-\\x{303F}\\x{FF00}-\\x{FFEF}]"_qs);

class AppDelegateTest : public PadFixture {
protected:
    AppDelegateTest() { load = smallDatabase; }

    QString status() const { return child<TextLabel>(u"statusLabel"_qs)->text(); }
    QString detail() const { return child<TextLabel>(u"detailLabel"_qs)->text(); }
    QMenu* statusMenu() const { return testing::topLevel<QMenu>(u"statusMenu"_qs); }
    QAction* menuItem(const QString& title) const {
        return testing::child<QAction>(statusMenu(), title);
    }
};

TEST_F(AppDelegateTest, PanelOpensWhileTheDataLoadThenReportsReady) {
    AppDelegate& pad = start();
    PadPanel* panel = pad.panel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(status(), texts::loading());
    EXPECT_EQ(panel->windowTitle(), u"Sumiro"_qs);
    EXPECT_EQ(panel->minimumSize(), QSize(760, 490));
    EXPECT_EQ(panel->size(), QSize(820, 490));
    EXPECT_EQ(child<SegmentedControl>(u"mode"_qs)->selectedSegment(), 0);
    EXPECT_TRUE(child(u"handwriting"_qs)->isVisible());
    EXPECT_FALSE(child(u"browsing"_qs)->isVisible());
    EXPECT_FALSE(child(u"keyboard"_qs)->isVisible());
    EXPECT_FALSE(child(u"permissionButton"_qs)->isVisible());
    EXPECT_EQ(child<TextLabel>(u"targetLabel"_qs)->text(), u"入力先：未選択"_qs);
    EXPECT_GE(child(u"body"_qs)->height(), 320);
    EXPECT_EQ(child(u"ink"_qs)->size(), QSize(266, 266));
    EXPECT_TRUE(child<TextLabel>(u"statusLabel"_qs)->truncatesTail());
    EXPECT_TRUE(child<TextLabel>(u"detailLabel"_qs)->truncatesTail());
    loadData();
    EXPECT_EQ(status(), texts::ready());
    EXPECT_TRUE(pad.database());
}

TEST_F(AppDelegateTest, AFailedLoadShowsItsReasonAndThePadStaysUsable) {
    const testing::TempDirectory dir;
    dir.write("corrupt/characters.json", "[{\"character\": ");
    dir.write("corrupt/templates.json", "[]");
    for (const auto& resources : {dir.path() / "missing", dir.path() / "corrupt"}) {
        load = [resources] { return std::make_shared<const CharacterDatabase>(resources); };
        AppDelegate& pad = startLoaded();
        const QString prefix = u"辞書を読み込めません："_qs;
        ASSERT_TRUE(status().startsWith(prefix)) << status().toStdString();
        EXPECT_TRUE(status().mid(prefix.size()).contains(u"characters.json"_qs))
            << status().toStdString();
        EXPECT_FALSE(pad.database());
        EXPECT_TRUE(pad.panel()->isVisible());
        // A stroke keeps the reason rather than asking to wait for data that never come.
        const QString reason = status();
        child<InkView>(u"ink"_qs)->setStrokes({{{0, 0}, {1, 1}}});
        QTest::mouseClick(child(u"recognize"_qs), Qt::LeftButton);
        EXPECT_EQ(status(), reason);
        // A pick is described by the bare character.
        auto* candidates = child<CharacterGrid>(u"candidates"_qs);
        candidates->setCharacters({u"ア"_qs});
        candidates->press(0);
        EXPECT_EQ(detail(), u"ア"_qs);
    }
}

TEST_F(AppDelegateTest, SegmentsSwitchTheModeViews) {
    start();
    const std::pair<int, const char*> cases[] = {
        {1, "browsing"}, {2, "browsing"}, {3, "browsing"}, {4, "keyboard"}, {0, "handwriting"}};
    for (const auto& [segment, shown] : cases) {
        child<TextLabel>(u"detailLabel"_qs)->setText({});
        chooseMode(segment);
        for (const char* view : {"handwriting", "browsing", "keyboard"})
            EXPECT_EQ(child(QString::fromLatin1(view))->isVisible(), view == shown)
                << segment << view;
        EXPECT_EQ(detail(), texts::modeDetail());
    }
}

TEST_F(AppDelegateTest, WithoutPermissionTheSetupWindowWaitsForTheGrant) {
    fake->allowed = false;
    AppDelegate& pad = start();
    auto* setup = testing::topLevel<SetupWindow>(u"setupWindow"_qs);
    ASSERT_TRUE(setup);
    EXPECT_TRUE(setup->isVisible());
    EXPECT_FALSE(pad.panel()->isVisible());
    EXPECT_TRUE(setup->waiting());
    EXPECT_EQ(setup->windowTitle(), u"Sumiroの初回設定"_qs);
    EXPECT_EQ(setup->width(), 500);
    EXPECT_GE(setup->height(), 340);
    EXPECT_FALSE(setup->windowFlags() & Qt::WindowMinimizeButtonHint);

    pad.pollDesktop();  // still missing: keeps waiting
    EXPECT_TRUE(setup->isVisible());
    auto* open = titled<QPushButton>(setup, u"使い方を開く"_qs);
    ASSERT_TRUE(open);
    EXPECT_TRUE(open->isDefault());
    QTest::mouseClick(open, Qt::LeftButton);
    EXPECT_EQ(fake->helpOpened, 1);

    fake->allowed = true;  // granted: the next tick opens the panel by itself
    pad.pollDesktop();
    EXPECT_TRUE(pad.panel()->isVisible());
    EXPECT_FALSE(setup->isVisible());
    EXPECT_FALSE(setup->waiting());

    fake->allowed = false;  // withdrawn while the panel shows: the same window comes back
    pad.pollDesktop();
    EXPECT_TRUE(child(u"permissionButton"_qs)->isVisibleTo(pad.panel()));
    EXPECT_EQ(testing::topLevel<SetupWindow>(u"setupWindow"_qs), setup);
    EXPECT_TRUE(setup->isVisible());
    EXPECT_FALSE(pad.panel()->isVisible());

    setup->close();  // closed by the user: the grant still opens the panel
    fake->allowed = true;
    pad.pollDesktop();
    EXPECT_TRUE(pad.panel()->isVisible());

    pad.panel()->hide();  // withdrawn while the user closed the panel: nothing happens
    fake->allowed = false;
    pad.pollDesktop();
    EXPECT_FALSE(setup->isVisible());
    menuItem(u"入力の許可を設定…"_qs)->trigger();  // the menu item only opens the help
    EXPECT_EQ(fake->helpOpened, 2);
    EXPECT_FALSE(setup->isVisible());
}

// The window says what is wrong here, with the commands and settings that mend it.
TEST_F(AppDelegateTest, TheSetupWindowNamesWhatKeepsThePadFromTyping) {
    using Obstacle = InputPlatform::Obstacle;
    const struct {
        Obstacle obstacle;
        std::vector<const char*> says;
    } cases[] = {
        {Obstacle::NoXTest, {"XTEST", "fcitx5 -d", "ibus-daemon -drx", "+extension XTEST"}},
        {Obstacle::NoDisplay, {"DISPLAY", "fcitx5 -d"}},
        {Obstacle::WaylandWithoutInputMethod, {"Wayland", "fcitx5 -d", "GNOME on Xorg"}},
    };
    fake->allowed = false;
    for (const auto& c : cases) {
        fake->blockedBy = c.obstacle;
        start();
        const QString steps =
            testing::child<TextLabel>(testing::topLevel(u"setupWindow"_qs), u"setupSteps"_qs)
                ->text();
        for (const char* words : c.says)
            EXPECT_TRUE(steps.contains(QString::fromUtf8(words))) << steps.toStdString();
        EXPECT_FALSE(steps.contains(u"アクセシビリティ"_qs));
        delegate.reset();
    }
}

TEST_F(AppDelegateTest, StripKeysAndCandidatesReachTheTarget) {
    AppDelegate& pad = startLoaded();
    const Application editor = fake->add({{7, 100}, u"Editor"_qs});
    fake->userActivates(editor);
    EXPECT_EQ(child<TextLabel>(u"targetLabel"_qs)->text(), u"入力先：Editor"_qs);

    QWidget* strip = testing::child(child(u"handwriting"_qs), u"keyStrip"_qs);
    ASSERT_TRUE(strip);
    const QString before = detail();
    for (const StripKey& key : stripKeys()) {
        QAbstractButton* pressed = titled(strip, key.title);
        ASSERT_TRUE(pressed);
        EXPECT_EQ(pressed->toolTip(), key.toolTip);
        EXPECT_EQ(pressed->width(), 65);
        fake->expectKey(key.key);
        QTest::mouseClick(pressed, Qt::LeftButton);
        clock->advance(DirectInput::deliveryDelay);
    }
    EXPECT_EQ(detail(), before) << "keys leave the detail line";

    auto* candidates = child<CharacterGrid>(u"candidates"_qs);
    candidates->setCharacters({u"木"_qs, u"十"_qs});
    fake->expectText(U"十");
    candidates->press(1);
    clock->advance(DirectInput::deliveryDelay);
    fake->verify();
    EXPECT_EQ(detail(), QString::fromStdString(pad.database()->detail("十")));
    EXPECT_EQ(detail(), u"十   ジュウ   2画   U+5341"_qs);
    EXPECT_EQ(candidates->characters(), (QStringList{u"木"_qs, u"十"_qs}));

    fake->quit(editor);
    pad.pollDesktop();
    EXPECT_EQ(child<TextLabel>(u"targetLabel"_qs)->text(), u"入力先：未選択"_qs);
}

// Under the English catalogue, found beside the program as the pad finds it, the setup window,
// every mode and the menu show Japanese only where they show Japanese data; the detail line adds
// the meanings, which give way to the stroke count and the code; help opens the English page.
TEST_F(AppDelegateTest, InEnglishJapaneseShowsOnlyAsData) {
    const std::unique_ptr<QTranslator> catalogue =
        loadCatalogue(Language::English, runningExecutable());
    ASSERT_TRUE(catalogue) << "no sumiro_en.qm beside " << runningExecutable();
    QCoreApplication::installTranslator(catalogue.get());
    const auto uninstall =
        qScopeGuard([&] { QCoreApplication::removeTranslator(catalogue.get()); });
    language = Language::English;
    fake->allowed = false;
    AppDelegate& pad = start();
    auto* setup = testing::topLevel<SetupWindow>(u"setupWindow"_qs);
    ASSERT_TRUE(setup);
    QStringList shown = shownTexts(setup);
    fake->allowed = true;
    pad.pollDesktop();
    loadData();
    const Application editor = fake->add({{7, 100}, u"Editor"_qs});
    fake->userActivates(editor);
    for (int segment = 0; segment < static_cast<int>(kModes.size()); ++segment) {
        chooseMode(segment);
        shown += shownTexts(pad.panel());
        shown << detail();
    }
    for (const QAction* item : statusMenu()->actions()) shown << item->text();
    shown << InkView::placeholder() << status();
    for (const QString& text : shown) EXPECT_FALSE(text.contains(kJapanese)) << text.toStdString();
    for (const QString& title : {u"Handwriting"_qs, u"Undo"_qs, u"Quit Sumiro"_qs,
                                 u"Basic kanji only"_qs, u"Hiragana"_qs, u"Sumiro setup"_qs}) {
        EXPECT_TRUE(shown.contains(title)) << title.toStdString();
    }

    auto* candidates = child<CharacterGrid>(u"candidates"_qs);
    candidates->setCharacters({u"木"_qs});
    fake->expectText(U"木");
    candidates->press(0);
    clock->advance(DirectInput::deliveryDelay);
    EXPECT_EQ(detail(), u"木   モク   tree; wood   4 strokes   U+6728"_qs);
    EXPECT_FALSE(status().remove(u"木"_qs).contains(kJapanese)) << status().toStdString();
    const std::optional<QUrl> help = helpPage();
    ASSERT_TRUE(help);
    EXPECT_EQ(QFileInfo(help->toLocalFile()).fileName(), u"Help.en.html"_qs);

    // A line too narrow for them all cuts the meanings, never the count and the code.
    auto* line = child<TextLabel>(u"detailLabel"_qs);
    const QFontMetrics metrics = line->fontMetrics();
    line->setFixedWidth(metrics.horizontalAdvance(u"木   モク   tree; …   4 strokes   U+6728"_qs) +
                        line->contentsMargins().left() + line->contentsMargins().right() + 2);
    candidates->hovered(u"木"_qs);
    const QString cut = line->shownText();
    EXPECT_TRUE(cut.endsWith(u"…   4 strokes   U+6728"_qs)) << cut.toStdString();
    EXPECT_TRUE(cut.startsWith(u"木   モク   tree"_qs)) << cut.toStdString();
    EXPECT_LE(metrics.horizontalAdvance(cut), line->contentsRect().width());
}

// Short of room, the line cuts the readings and keeps the character, its stroke count and its
// code whole.
TEST_F(AppDelegateTest, TheDetailLineCutsTheReadingsFirst) {
    startLoaded();
    auto* line = child<TextLabel>(u"detailLabel"_qs);
    child<CharacterGrid>(u"candidates"_qs)->hovered(u"上"_qs);
    EXPECT_EQ(
        line->text(),
        u"上   ジョウ、ショウ、シャン、うえ、うわ、かみ、あ(げる)、あ(がる)、のぼ(る)   3画   U+4E0A"_qs);
    line->resize(line->fontMetrics().horizontalAdvance(u"上   ジョウ、ショウ   3画   U+4E0A"_qs),
                 line->height());
    const QString shown = line->shownText();
    EXPECT_TRUE(shown.startsWith(u"上   ジョウ"_qs)) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(u"…   3画   U+4E0A"_qs)) << shown.toStdString();
    line->setText(QString(40, u'字'));  // any other text: cut at its tail
    EXPECT_TRUE(line->shownText().endsWith(u"…"_qs));
}

TEST_F(AppDelegateTest, SixtyFiveStrokesAreRefusedAndTheCandidatesStay) {
    startLoaded();
    QWidget* handwriting = child(u"handwriting"_qs);
    auto* candidates = child<CharacterGrid>(u"candidates"_qs);
    candidates->setCharacters({u"木"_qs});
    child<InkView>(u"ink"_qs)->setStrokes(Ink(65, Stroke{{0.1, 0.1}, {0.9, 0.9}}));
    QTest::mouseClick(titled(handwriting, u"認識"_qs), Qt::LeftButton);
    EXPECT_EQ(status(), texts::tooManyStrokes());
    EXPECT_EQ(child<TextLabel>(u"inkCount"_qs)->text(), u"65画"_qs);
    clock->advance(1s);
    EXPECT_EQ(worker->queued(), 0u);
    EXPECT_EQ(candidates->characters(), QStringList{u"木"_qs});

    QTest::mouseClick(titled(handwriting, u"一画戻す"_qs), Qt::LeftButton);
    EXPECT_EQ(status(), texts::recognizing());
    clock->advance(RecognitionScheduler::kDelay);
    EXPECT_EQ(worker->queued(), 1u);
    QTest::mouseClick(titled(handwriting, u"消去"_qs), Qt::LeftButton);
    EXPECT_EQ(status(), texts::emptyInk());
    EXPECT_TRUE(candidates->characters().isEmpty());
}

TEST_F(AppDelegateTest, CtrlZUndoesAStrokeInEveryModeAndCtrlShiftZPasses) {
    AppDelegate& pad = start();
    auto* ink = child<InkView>(u"ink"_qs);
    ink->setStrokes(Ink(2, Stroke{{0.1, 0.1}, {0.9, 0.9}}));
    QTest::keyClick(pad.panel(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ink->strokes().size(), 2u);
    QTest::keyClick(pad.panel(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ink->strokes().size(), 1u);
    chooseMode(4);
    QTest::keyClick(pad.panel(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ink->strokes().size(), 0u);
    QTest::keyClick(pad.panel(), Qt::Key_Z, Qt::ControlModifier);  // empty: still swallowed
    EXPECT_EQ(child<TextLabel>(u"inkCount"_qs)->text(), u"0画"_qs);
}

TEST_F(AppDelegateTest, TheFrameComesBackAndACorruptSettingsFileGivesTheDefault) {
    AppDelegate& pad = start();
    pad.panel()->resize(880, 560);
    pad.panel()->resize(900, 600);
    // Written once the resize has ended, not at each of its steps.
    EXPECT_NE(QSettings().value(u"SumiroWindow"_qs).toRect().size(), QSize(900, 600));
    clock->advance(AppDelegate::kSaveDelay);
    EXPECT_EQ(QSettings().value(u"SumiroWindow"_qs).toRect().size(), QSize(900, 600));
    delegate.reset();
    EXPECT_EQ(start().panel()->size(), QSize(900, 600));
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
        EXPECT_EQ(start().panel()->size(), QSize(820, 490));
        delegate.reset();
    }
}

// The mode, the browse selectors, the font and the keyboard layout come back after a restart;
// values the pad does not offer leave its defaults.
TEST_F(AppDelegateTest, ChoicesComeBackAfterARestart) {
    const auto popup = [this](const char* name) {
        return child<QComboBox>(QString::fromLatin1(name));
    };
    start();
    chooseMode(3);
    const std::pair<const char*, int> chosen[] = {{"rangePopup", 5},        {"countPopup", 9},
                                                  {"radicalCountPopup", 4}, {"radicalPopup", 14},
                                                  {"keyboardMode", 2},      {"fontPopup", 1}};
    for (const auto& [name, index] : chosen) popup(name)->setCurrentIndex(index);
    child<QCheckBox>(u"scope"_qs)->setChecked(false);
    const QString font = popup("fontPopup")->currentText();
    clock->advance(AppDelegate::kSaveDelay);
    delegate.reset();

    start();
    EXPECT_EQ(child<SegmentedControl>(u"mode"_qs)->selectedSegment(), 3);
    EXPECT_TRUE(child(u"browsing"_qs)->isVisible());
    EXPECT_FALSE(child(u"handwriting"_qs)->isVisible());
    for (const auto& [name, index] : chosen) EXPECT_EQ(popup(name)->currentIndex(), index) << name;
    EXPECT_EQ(popup("radicalPopup")->currentText(), u"\u2F4A  75"_qs);
    EXPECT_FALSE(child<QCheckBox>(u"scope"_qs)->isChecked());
    EXPECT_EQ(child<CharacterGrid>(u"browseGrid"_qs)->fontName(), font);
    EXPECT_EQ(detail(), texts::detailHint());
    delegate.reset();

    QSettings settings;
    for (const auto& [key, value] : {std::pair("mode", QVariant(u"drawing"_qs)),
                                     std::pair("browse/rangeStart", QVariant(0x41)),
                                     std::pair("browse/strokeCount", QVariant(65)),
                                     std::pair("browse/radicalStrokes", QVariant(u"x"_qs)),
                                     std::pair("keyboard/layout", QVariant(-1))})
        settings.setValue(QString::fromLatin1(key), value);
    settings.sync();
    start();
    EXPECT_EQ(child<SegmentedControl>(u"mode"_qs)->selectedSegment(), 0);
    const std::pair<const char*, int> defaults[] = {
        {"rangePopup", 0}, {"countPopup", 3}, {"radicalCountPopup", 0}, {"keyboardMode", 0}};
    for (const auto& [name, index] : defaults)
        EXPECT_EQ(popup(name)->currentIndex(), index) << name;
}

TEST_F(AppDelegateTest, TheStatusMenuHoldsItsItemsAlsoOnTheHeaderRow) {
    AppDelegate& pad = start();
    QMenu* menu = statusMenu();
    ASSERT_TRUE(menu);
    QStringList titles;
    for (QAction* item : menu->actions())
        titles.push_back(item->isSeparator() ? u"-"_qs : item->text());
    EXPECT_EQ(titles,
              (QStringList{u"Sumiroを表示"_qs, u"入力の許可を設定…"_qs, u"使い方・ライセンス"_qs,
                           u"ログイン時に起動"_qs, u"-"_qs, u"Sumiroを終了"_qs}));
    EXPECT_EQ(menu->actions().last()->shortcut(), QKeySequence(u"Ctrl+Q"_qs));
    // The open menu takes its own Ctrl+Q.
    QSignalSpy quit(static_cast<StatusMenu*>(menu), &StatusMenu::quit);
    menu->popup({0, 0});
    QTest::keyClick(menu, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quit.count(), 1);
    EXPECT_FALSE(menu->isVisible());
    QWidget* headerRow = child(u"headerRow"_qs);
    EXPECT_EQ(headerRow->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_TRUE(headerRow->isAncestorOf(child(u"targetLabel"_qs)));
    EXPECT_EQ(menu->findChild<QSystemTrayIcon*>(), nullptr);  // no tray asked for
    pad.panel()->hide();
    menu->actions().first()->trigger();
    EXPECT_TRUE(pad.panel()->isVisible());
}

// Off by default; the item writes and removes the user's autostart entry, follows changes made
// elsewhere each time the menu opens, and reports a failure on the status line.
TEST_F(AppDelegateTest, TheLoginItemTurnsTheAutostartEntryOnAndOff) {
    start();
    const std::filesystem::path entry = config.path() / "autostart" / "jp.local.Sumiro.desktop";
    QAction* loginItem = menuItem(u"ログイン時に起動"_qs);
    ASSERT_TRUE(loginItem);
    EXPECT_TRUE(loginItem->isCheckable());
    EXPECT_FALSE(loginItem->isChecked());
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(statusMenu());
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (int i = 0; i < menu->childCount(); ++i)
        names.push_back(menu->child(i)->text(QAccessible::Name));
    EXPECT_TRUE(names.contains(u"ログイン時に起動"_qs)) << names.join(u',').toStdString();

    loginItem->trigger();
    EXPECT_TRUE(loginItem->isChecked());
    EXPECT_NE(
        config.read(entry.lexically_relative(config.path())).find("Exec=/opt/sumiro/bin/sumiro\n"),
        std::string::npos);

    std::filesystem::remove(entry);
    emit statusMenu()->aboutToShow();
    EXPECT_FALSE(loginItem->isChecked());

    // A directory where the entry should go: the write fails, the item stays off.
    std::filesystem::create_directories(entry / "occupied");
    loginItem->trigger();
    EXPECT_FALSE(loginItem->isChecked());
    EXPECT_TRUE(status().startsWith(u"ログイン時の起動を設定できません："_qs))
        << status().toStdString();
    EXPECT_TRUE(status().contains(QString::fromStdString(entry.string())));
}

TEST_F(AppDelegateTest, EveryControlIsListedUnderItsTitle) {
    AppDelegate& pad = start();
    QStringList names;
    for (auto* control : pad.panel()->findChildren<QAbstractButton*>()) {
        QAccessibleInterface* element = QAccessible::queryAccessibleInterface(control);
        ASSERT_TRUE(element);
        EXPECT_EQ(element->text(QAccessible::Name), testing::shownTitle(control));
        EXPECT_TRUE(element->actionInterface());
        names.push_back(element->text(QAccessible::Name));
    }
    for (const QString& title : {u"手書き"_qs, u"ソフトキーボード"_qs, u"一画戻す"_qs, u"認識"_qs,
                                 u"⌫"_qs, u"↓"_qs, u"使い方"_qs, u"入力を許可…"_qs}) {
        EXPECT_TRUE(names.contains(title)) << title.toStdString();
    }
}

// One pad per user and display: the lock decides at once, a later start reaches the pad, and a
// socket an ended pad left behind never blocks it.
TEST(SingleInstanceTest, OnePadPerDisplayAndALaterStartReachesIt) {
    const testing::TempDirectory dir;
    const QString directory = QString::fromStdString(dir.path().string());
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string stale = (dir.path() / "sumiro-x11-0").string();
        std::strncpy(address.sun_path, stale.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    SingleInstance pad(directory, u"x11-0"_qs);
    ASSERT_EQ(pad.state(), SingleInstance::State::Claimed);
    SingleInstance later(directory, u"x11-0"_qs);
    EXPECT_EQ(later.state(), SingleInstance::State::Taken);
    EXPECT_EQ(SingleInstance(directory, u"x11-1"_qs).state(), SingleInstance::State::Claimed);

    int reopened = 0;
    ASSERT_TRUE(pad.listen([&] { ++reopened; }));
    std::atomic<bool> answered = false;
    std::thread second([&] { answered = later.askToShow(10s); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered.load(); }, 10000));
    second.join();
    EXPECT_EQ(reopened, 1);
    EXPECT_TRUE(answered);
}

}  // namespace
}  // namespace sumiro
