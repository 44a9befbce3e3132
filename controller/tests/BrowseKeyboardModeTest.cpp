// The browse and keyboard modes in the launched pad, on a fake desktop and clock, with a small
// inventory loaded when a test says so.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTest>

#include "controller/KeyboardLayout.h"
#include "controller/KeyboardMode.h"
#include "controller/tests/PadFixture.h"
#include "views/CharacterGrid.h"
#include "views/SegmentedControl.h"
#include "views/ViewHelpers.h"

namespace sumiro {
namespace {

CharacterEntry entry(std::string character, std::int64_t count, std::vector<std::int64_t> radicals,
                     std::string reading = "") {
    return {std::move(character), count, std::move(radicals), std::move(reading), true, true};
}

class PadModes : public PadFixture {
protected:
    void SetUp() override {
        PadFixture::SetUp();
        load = [] {
            return std::make_shared<const CharacterDatabase>(
                std::vector<CharacterEntry>{entry("木", 4, {75}, "ボク、き"), entry("林", 8, {75}),
                                            entry("心", 4, {61}, "シン、こころ")},
                std::vector<RawTemplate>{});
        };
        fake->front = editor;
        start();
    }
    QList<QAbstractButton*> keys() const {
        return child(u"keyboardBody"_qs)->findChildren<QAbstractButton*>();
    }
    QAbstractButton* key(const QString& title) const {
        for (QAbstractButton* key : keys())
            if (key->text() == title) return key;
        return nullptr;
    }
    QComboBox* popup(const char* name) const { return child<QComboBox>(QString::fromLatin1(name)); }
    CharacterGrid* grid() const { return child<CharacterGrid>(u"browseGrid"_qs); }
    QString result() const { return child<TextLabel>(u"resultLabel"_qs)->text(); }

    Application editor = fake->add({{7, 100}, QStringLiteral("Editor")});
};

TEST_F(PadModes, BrowsePopupsAreFilledAndFindableByName) {
    const struct {
        const char* name;
        int items;
        int selected;
        QString selectedTitle;
    } popups[] = {
        {"countPopup", 64, 3, u"4画"_qs},
        {"radicalCountPopup", 18, 0, u"部首の画数：すべて"_qs},
        {"radicalPopup", 214, 0, u"\u2F00  1"_qs},
        {"rangePopup", 12, 0, u"ひらがな"_qs},
    };
    for (const auto& expected : popups) {
        SCOPED_TRACE(expected.name);
        QComboBox* box = popup(expected.name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->count(), expected.items);
        EXPECT_EQ(box->currentIndex(), expected.selected);
        EXPECT_EQ(box->currentText(), expected.selectedTitle);
    }
    EXPECT_TRUE(child<QCheckBox>(u"scope"_qs)->isChecked());
    EXPECT_EQ(child<QLineEdit>(u"searchField"_qs)->placeholderText(), u"文字・読み・U+コード"_qs);

    QComboBox* fonts = popup("fontPopup");
    QStringList families;
    for (int i = 0; i < fonts->count(); ++i) families.append(fonts->itemText(i));
    EXPECT_EQ(QSet<QString>(families.begin(), families.end()).size(), families.size());
    EXPECT_TRUE(std::is_sorted(families.begin(), families.end(), [](const auto& a, const auto& b) {
        return a.toUcs4() < b.toUcs4();
    }));
    if (families.contains(CharacterGrid::kDefaultFontName)) {
        EXPECT_EQ(fonts->currentText(), CharacterGrid::kDefaultFontName);
    }
}

TEST_F(PadModes, NothingChangesUntilTheDataAreLoaded) {
    chooseMode(2);
    for (const char* selector : {"rangePopup", "countPopup", "radicalCountPopup", "radicalPopup"})
        EXPECT_FALSE(popup(selector)->isHidden()) << selector;
    EXPECT_TRUE(grid()->characters().isEmpty());
    EXPECT_TRUE(result().isEmpty());
}

TEST_F(PadModes, RefreshFollowsTheSegmentAndItsSelectors) {
    loadData();
    chooseMode(1);
    EXPECT_EQ(grid()->characters().size(), 86);
    EXPECT_EQ(result(), u"86文字"_qs);
    EXPECT_FALSE(popup("rangePopup")->isHidden());
    EXPECT_TRUE(popup("countPopup")->isHidden());
    auto* scope = child<QCheckBox>(u"scope"_qs);
    EXPECT_TRUE(scope->isHidden());

    auto* search = child<QLineEdit>(u"searchField"_qs);
    search->setText(u"き"_qs);  // refreshes on every change
    EXPECT_EQ(grid()->characters(), QStringList{u"木"_qs});
    chooseMode(2);  // the search text applies to the new segment at once
    EXPECT_EQ(grid()->characters(), QStringList{u"木"_qs});
    EXPECT_FALSE(scope->isHidden());
    EXPECT_TRUE(popup("rangePopup")->isHidden());
    search->clear();
    EXPECT_EQ(grid()->characters(), (QStringList{u"心"_qs, u"木"_qs}));  // code point order

    chooseMode(3);
    QComboBox* radicals = popup("radicalPopup");
    popup("radicalCountPopup")->setCurrentIndex(4);  // radicals of 4 strokes: 61 to 94
    EXPECT_EQ(radicals->count(), 34);
    EXPECT_EQ(radicals->currentText(), u"\u2F3C  61"_qs);
    EXPECT_TRUE(radicals->itemText(33).endsWith(u"  94"_qs))
        << radicals->itemText(33).toStdString();
    EXPECT_EQ(grid()->characters(), QStringList{u"心"_qs});
    EXPECT_EQ(result(), u"1文字"_qs);
    radicals->setCurrentIndex(75 - 61);
    EXPECT_EQ(grid()->characters(), (QStringList{u"木"_qs, u"林"_qs}));
}

TEST_F(PadModes, EveryRefreshScrollsBackToTheTop) {
    loadData();
    delegate->panel()->resize(820, 485);
    chooseMode(1);
    popup("rangePopup")->setCurrentIndex(5);  // 漢字: many rows
    auto* scroll = child<QScrollArea>(u"browseScroll"_qs);
    ASSERT_NE(scroll, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scroll->verticalScrollBar()->maximum() > 0; }));
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    child<QCheckBox>(u"scope"_qs)->toggle();
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 0);
}

TEST_F(PadModes, FontPopupSetsOnlyTheBrowseGrid) {
    QComboBox* fonts = popup("fontPopup");
    ASSERT_GT(fonts->count(), 1);
    fonts->setCurrentIndex(0);
    EXPECT_EQ(grid()->fontName(), fonts->itemText(0));
    EXPECT_EQ(child<CharacterGrid>(u"candidates"_qs)->fontName(), CharacterGrid::kDefaultFontName);
    fonts->setCurrentIndex(-1);
    EXPECT_EQ(grid()->fontName(), CharacterGrid::kDefaultFontName);
}

// Every layout leaves one set of keys, each showing its character ("&" too), in lines 4 pixels
// apart however few they are.
TEST_F(PadModes, KeyboardLayoutsLeaveExactlyOneSetOfKeysInTightLines) {
    chooseMode(4);
    for (const int layout : {0, 2, 1, 3, 0, 0}) {
        SCOPED_TRACE(layout);
        popup("keyboardMode")->setCurrentIndex(layout);
        child<KeyboardMode>(u"keyboard"_qs)->rebuildKeyboard();  // also the same layout again
        QStringList expected;
        for (const QStringList& line : keyboardLines(layout)) expected += line;
        for (const EditingKey& editing : editingKeys()) expected += editing.title;
        QStringList shown;
        QList<QWidget*> lines;
        for (QAbstractButton* key : keys()) {
            shown += testing::shownTitle(key);
            if (!lines.contains(key->parentWidget())) lines += key->parentWidget();
        }
        EXPECT_EQ(shown, expected);
        QCoreApplication::sendPostedEvents();
        for (qsizetype i = 1; i < lines.size(); ++i)
            EXPECT_EQ(lines[i]->y() - lines[i - 1]->geometry().bottom() - 1, 4) << i;
    }
}

TEST_F(PadModes, KeysDescribeAndTypeTheirCharacterOrPressTheirKey) {
    chooseMode(4);
    popup("keyboardMode")->setCurrentIndex(1);
    QAbstractButton* a = key(u"ア"_qs);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->accessibleName().isEmpty() ? a->text() : a->accessibleName(), u"ア"_qs);
    auto* detail = child<TextLabel>(u"detailLabel"_qs);
    fake->expectText(U"ア");
    QTest::mouseClick(a, Qt::LeftButton);
    EXPECT_EQ(detail->text(), u"ア"_qs) << "the bare character while loading";
    clock->advance(std::chrono::milliseconds(100));

    loadData();
    fake->expectText(U"木");
    auto* candidates = child<CharacterGrid>(u"candidates"_qs);
    candidates->setCharacters({u"木"_qs});
    candidates->press(0);
    EXPECT_EQ(detail->text(), u"木   ボク、き   4画   U+6728"_qs);
    clock->advance(std::chrono::milliseconds(100));

    // Each editing key (their titles and keys: KeyboardLayoutTest) presses its key.
    const QString described = detail->text();
    for (const EditingKey& editing : editingKeys()) {
        SCOPED_TRACE(editing.title.toStdString());
        QAbstractButton* button = key(editing.title);
        ASSERT_NE(button, nullptr);
        fake->expectKey(editing.key);
        QTest::mouseClick(button, Qt::LeftButton);
        clock->advance(std::chrono::milliseconds(100));
        fake->verify();
    }
    EXPECT_EQ(detail->text(), described) << "editing keys leave the detail line";
}

// Assistive technology chooses an item by selecting it in the closed pop-up's list.
TEST_F(PadModes, PopupItemsSelectedFromOutsideAreChosen) {
    loadData();
    chooseMode(1);
    const struct {
        QComboBox* popup;
        int row;
        std::function<bool()> applied;
    } cases[] = {
        {popup("keyboardMode"), 1, [&] { return key(u"ア"_qs) != nullptr; }},
        {popup("rangePopup"), 1, [&] { return result() == u"90文字"_qs; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.popup->objectName().toStdString());
        QAbstractItemView* list = c.popup->view();
        list->selectionModel()->select(c.popup->model()->index(c.row, 0),
                                       QItemSelectionModel::ClearAndSelect);
        EXPECT_EQ(c.popup->currentIndex(), c.row);
        EXPECT_TRUE(c.applied());
    }
}

}  // namespace
}  // namespace sumiro
