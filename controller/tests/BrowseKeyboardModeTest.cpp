#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QFontDatabase>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "controller/AppDelegate.h"
#include "testsupport/FakePlatform.h"
#include "testsupport/FakeScheduler.h"
#include "testsupport/FakeWorker.h"

namespace sumiro {
namespace {

CharacterEntry entry(std::string character, std::int64_t count, std::vector<std::int64_t> radicals,
                     std::string reading = "") {
    return {std::move(character), count, std::move(radicals), std::move(reading), true, true};
}

// The pad's panel on a fake desktop and clock, with a small inventory loaded.
class PadModes : public ::testing::Test {
protected:
    void SetUp() override {
        AppDelegate::Environment environment;
        environment.platform = fake;
        environment.clock = clock;
        environment.recognizerQueue = std::make_unique<FakeWorker>();
        environment.trayIcon = false;
        fake->front = editor;
        pad = std::make_unique<AppDelegate>(std::move(environment));
        pad->buildPanel();
    }
    void load() {
        pad->database = std::make_shared<const CharacterDatabase>(
            std::vector<CharacterEntry>{entry("木", 4, {75}, "ボク、き"), entry("林", 8, {75}),
                                        entry("心", 4, {61}, "シン、こころ")},
            std::vector<RawTemplate>{});
    }
    void chooseMode(int segment) {
        pad->mode->setSelectedSegment(segment);
        pad->changeMode();
    }
    QList<ActionButton*> keys() const { return pad->keyboardBody->findChildren<ActionButton*>(); }
    ActionButton* key(const QString& title) const {
        for (ActionButton* key : keys()) {
            if (key->text() == title) return key;
        }
        return nullptr;
    }

    std::shared_ptr<FakePlatform> fake = std::make_shared<FakePlatform>();
    std::shared_ptr<FakeScheduler> clock = std::make_shared<FakeScheduler>();
    Application editor = fake->add({{7, 100}, QStringLiteral("Editor")});
    std::unique_ptr<AppDelegate> pad;
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
    for (const auto& popup : popups) {
        SCOPED_TRACE(popup.name);
        auto* box = pad->panel->findChild<QComboBox*>(QString::fromUtf8(popup.name));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->count(), popup.items);
        EXPECT_EQ(box->currentIndex(), popup.selected);
        EXPECT_EQ(box->currentText(), popup.selectedTitle);
    }
    EXPECT_TRUE(pad->scope->isChecked());
    EXPECT_EQ(pad->searchField->placeholderText(), u"文字・読み・U+コード"_qs);

    QStringList families;
    for (int i = 0; i < pad->fontPopup->count(); ++i) families.append(pad->fontPopup->itemText(i));
    EXPECT_EQ(families.size(), QFontDatabase::families().size());
    EXPECT_TRUE(std::is_sorted(families.begin(), families.end(), [](const auto& a, const auto& b) {
        return a.toUcs4() < b.toUcs4();
    }));
    if (families.contains(CharacterGrid::kDefaultFontName)) {
        EXPECT_EQ(pad->fontPopup->currentText(), CharacterGrid::kDefaultFontName);
    }
}

TEST_F(PadModes, NothingChangesUntilTheDataAreLoaded) {
    chooseMode(2);
    for (QWidget* selector : std::initializer_list<QWidget*>{
             pad->rangePopup, pad->countPopup, pad->radicalCountPopup, pad->radicalPopup}) {
        EXPECT_FALSE(selector->isHidden());
    }
    EXPECT_TRUE(pad->browseGrid->characters().isEmpty());
    EXPECT_TRUE(pad->resultLabel->text().isEmpty());
}

TEST_F(PadModes, RefreshFollowsTheSegmentAndItsSelectors) {
    load();
    chooseMode(1);
    EXPECT_EQ(pad->browseGrid->characters().size(), 86);
    EXPECT_EQ(pad->resultLabel->text(), u"86文字"_qs);
    EXPECT_FALSE(pad->rangePopup->isHidden());
    EXPECT_TRUE(pad->countPopup->isHidden());
    EXPECT_TRUE(pad->scope->isHidden());

    pad->searchField->setText(u"き"_qs);  // refreshes on every change
    EXPECT_EQ(pad->browseGrid->characters(), QStringList{u"木"_qs});
    chooseMode(2);  // the search text applies to the new segment at once
    EXPECT_EQ(pad->browseGrid->characters(), QStringList{u"木"_qs});
    EXPECT_FALSE(pad->scope->isHidden());
    EXPECT_TRUE(pad->rangePopup->isHidden());
    pad->searchField->clear();
    EXPECT_EQ(pad->browseGrid->characters(),
              (QStringList{u"心"_qs, u"木"_qs}));  // code point order

    chooseMode(3);
    pad->radicalCountPopup->setCurrentIndex(4);  // radicals of 4 strokes: 61 to 94
    EXPECT_EQ(pad->radicalNumbers.front(), 61);
    EXPECT_EQ(pad->radicalNumbers.back(), 94);
    EXPECT_EQ(pad->radicalPopup->count(), 34);
    EXPECT_EQ(pad->radicalPopup->currentText(), u"\u2F3C  61"_qs);
    EXPECT_EQ(pad->browseGrid->characters(), QStringList{u"心"_qs});
    EXPECT_EQ(pad->resultLabel->text(), u"1文字"_qs);
    pad->radicalPopup->setCurrentIndex(75 - 61);
    EXPECT_EQ(pad->browseGrid->characters(), (QStringList{u"木"_qs, u"林"_qs}));
}

TEST_F(PadModes, EveryRefreshScrollsBackToTheTop) {
    load();
    pad->panel->resize(820, 485);
    pad->panel->show();
    chooseMode(1);
    pad->rangePopup->setCurrentIndex(5);  // 漢字: many rows
    auto* scroll = pad->panel->findChild<QScrollArea*>(u"browseScroll"_qs);
    ASSERT_NE(scroll, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scroll->verticalScrollBar()->maximum() > 0; }));
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    pad->scope->toggle();
    EXPECT_EQ(scroll->verticalScrollBar()->value(), 0);
}

TEST_F(PadModes, FontPopupSetsOnlyTheBrowseGrid) {
    ASSERT_GT(pad->fontPopup->count(), 1);
    pad->fontPopup->setCurrentIndex(0);
    EXPECT_EQ(pad->browseGrid->fontName(), pad->fontPopup->itemText(0));
    EXPECT_EQ(pad->candidates->fontName(), CharacterGrid::kDefaultFontName);
    pad->fontPopup->setCurrentIndex(-1);
    EXPECT_EQ(pad->browseGrid->fontName(), CharacterGrid::kDefaultFontName);
}

TEST_F(PadModes, KeyboardLayoutsLeaveExactlyOneSetOfKeys) {
    const struct {
        int layout;
        int keys;  // character keys and the five editing keys
        const char* first;
    } layouts[] = {{0, 90 + 5, "あ"}, {2, 83 + 5, "1"},  {1, 90 + 5, "ア"},
                   {3, 83 + 5, "１"}, {0, 90 + 5, "あ"}, {0, 90 + 5, "あ"}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.layout);
        pad->keyboardMode->setCurrentIndex(layout.layout);
        pad->rebuildKeyboard();  // also the same layout again
        EXPECT_EQ(keys().size(), layout.keys);
        EXPECT_EQ(keys().front()->text(), QString::fromUtf8(layout.first));
        EXPECT_EQ(keys().back()->text(), u"→"_qs);
    }
}

TEST_F(PadModes, KeysDescribeAndTypeTheirCharacterOrPressTheirKey) {
    pad->keyboardMode->setCurrentIndex(1);
    ActionButton* a = key(u"ア"_qs);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->accessibleName().isEmpty() ? a->text() : a->accessibleName(), u"ア"_qs);
    fake->front = editor;
    fake->expectText(U"ア");
    QTest::mouseClick(a, Qt::LeftButton);
    EXPECT_EQ(pad->detailLabel->text(), u"ア"_qs) << "the bare character while loading";
    clock->advance(std::chrono::milliseconds(100));

    load();
    fake->expectText(U"木");
    pad->choose(u"木"_qs);
    EXPECT_EQ(pad->detailLabel->text(), u"木   ボク、き   4画   U+6728"_qs);
    clock->advance(std::chrono::milliseconds(100));

    const std::vector<std::pair<QString, Key>> editing = {{u"空白"_qs, Key::Space},
                                                          {u"前の文字を削除"_qs, Key::BackSpace},
                                                          {u"改行"_qs, Key::Return},
                                                          {u"←"_qs, Key::Left},
                                                          {u"→"_qs, Key::Right}};
    const QString detail = pad->detailLabel->text();
    for (const auto& [title, code] : editing) {
        SCOPED_TRACE(title.toStdString());
        ActionButton* button = key(title);
        ASSERT_NE(button, nullptr);
        fake->expectKey(code);
        QTest::mouseClick(button, Qt::LeftButton);
        clock->advance(std::chrono::milliseconds(100));
        fake->verify();
    }
    EXPECT_EQ(pad->detailLabel->text(), detail) << "editing keys leave the detail line";
}

}  // namespace
}  // namespace sumiro

namespace sumiro {
namespace {

// Assistive technology chooses an item by selecting it in the closed pop-up's list.
TEST_F(PadModes, PopupItemsSelectedFromOutsideAreChosen) {
    load();
    chooseMode(1);
    const struct {
        QComboBox* popup;
        int row;
        std::function<bool()> applied;
    } cases[] = {
        {pad->keyboardMode, 1, [&] { return key(u"ア"_qs) != nullptr; }},
        {pad->rangePopup, 1, [&] { return pad->resultLabel->text() == u"90文字"_qs; }},
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
