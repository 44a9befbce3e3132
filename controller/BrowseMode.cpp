// The browse mode: characters by Unicode range, stroke count or radical, with search.

#include "controller/BrowseMode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QSignalBlocker>
#include <algorithm>
#include <numeric>

#include "controller/KeyStrip.h"
#include "controller/PopupChoice.h"
#include "controller/SearchFocus.h"
#include "views/CharacterGrid.h"
#include "views/GridScrollView.h"
#include "views/ViewHelpers.h"

namespace sumiro {

namespace {

std::vector<std::int64_t> allRadicals() {
    std::vector<std::int64_t> numbers(214);
    std::iota(numbers.begin(), numbers.end(), 1);
    return numbers;
}

QComboBox* popup(const char* name) {
    auto* box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    // Clicked, never focused: the panel leaves the keyboard to the target.
    box->setFocusPolicy(Qt::NoFocus);
    chooseOnSelection(box);
    return box;
}

}  // namespace

std::vector<NamedRange> BrowseMode::defaultRanges() {
    return {
        {tr("ひらがな"), 0x3041, 0x3096},     {tr("カタカナ"), 0x30A1, 0x30FA},
        {tr("英数字・記号"), 0x0021, 0x007E}, {tr("句読点・括弧"), 0x3000, 0x303F},
        {tr("全角・半角"), 0xFF01, 0xFF9F},   {tr("漢字"), 0x4E00, 0x9FFF},
        {tr("漢字 拡張A"), 0x3400, 0x4DBF},   {tr("漢字 拡張B"), 0x20000, 0x2A6DF},
        {tr("矢印"), 0x2190, 0x21FF},         {tr("数学記号"), 0x2200, 0x22FF},
        {tr("罫線"), 0x2500, 0x257F},         {tr("外字領域"), 0xE000, 0xF8FF},
    };
}

BrowseMode::BrowseMode()
    : ranges_(defaultRanges()),
      radicalStrokeEnds_{6,   29,  60,  94,  117, 146, 166, 175, 186,
                         194, 200, 204, 208, 210, 211, 213, 214},
      radicalNumbers_(allRadicals()),
      rangePopup_(popup("rangePopup")),
      countPopup_(popup("countPopup")),
      radicalCountPopup_(popup("radicalCountPopup")),
      radicalPopup_(popup("radicalPopup")),
      scope_(new QCheckBox(tr("基本の漢字のみ"))),
      searchField_(new QLineEdit),
      browseGrid_(new CharacterGrid),
      resultLabel_(label(QString(), 12)),
      fontPopup_(popup("fontPopup")) {
    setObjectName(QStringLiteral("browsing"));
    // The controls are this mode's children: their connections and callbacks end with it.
    countPopup_->addItems(strokeCountTitles());
    countPopup_->setCurrentIndex(3);
    connect(countPopup_, &QComboBox::currentIndexChanged, this, &BrowseMode::refreshBrowse);

    radicalCountPopup_->addItems(radicalCountTitles());
    radicalCountPopup_->setCurrentIndex(0);
    connect(radicalCountPopup_, &QComboBox::currentIndexChanged, this, &BrowseMode::filterRadicals);

    connect(radicalPopup_, &QComboBox::currentIndexChanged, this, &BrowseMode::refreshBrowse);
    filterRadicals();

    for (const NamedRange& range : ranges_) rangePopup_->addItem(range.name);
    rangePopup_->setCurrentIndex(0);
    connect(rangePopup_, &QComboBox::currentIndexChanged, this, &BrowseMode::refreshBrowse);

    scope_->setObjectName(QStringLiteral("scope"));
    scope_->setFocusPolicy(Qt::NoFocus);
    scope_->setChecked(true);
    connect(scope_, &QCheckBox::toggled, this, &BrowseMode::refreshBrowse);

    searchField_->setObjectName(QStringLiteral("searchField"));
    searchField_->setPlaceholderText(tr("文字・読み・U+コード"));
    searchField_->setAccessibleName(tr("検索"));
    searchField_->setClearButtonEnabled(true);
    searchField_->setFixedWidth(205);
    connect(searchField_, &QLineEdit::textChanged, this, &BrowseMode::refreshBrowse);
    // The panel takes the keyboard only while the field is typed in; afterwards the target
    // application is brought back to the front.
    new SearchFocus(searchField_, [this] { emit keyboardGivenBack(); });

    fontPopup_->addItems(fontFamilies(QFontDatabase::families()));
    if (const int noto = fontPopup_->findText(CharacterGrid::kDefaultFontName); noto >= 0) {
        fontPopup_->setCurrentIndex(noto);
    }
    fontPopup_->setFixedWidth(220);
    connect(fontPopup_, &QComboBox::currentIndexChanged, this, &BrowseMode::changeFont);

    browseGrid_->setObjectName(QStringLiteral("browseGrid"));
    browseGrid_->clicked = [this](const QString& character) { emit picked(character); };
    browseGrid_->hovered = [this](const QString& character) { emit hovered(character); };

    QWidget* selectors =
        stack({rangePopup_, countPopup_, radicalCountPopup_, radicalPopup_, scope_, new QWidget},
              Qt::Horizontal, 8);
    selectors->setObjectName(QStringLiteral("browseControls"));

    QWidget* searchRow =
        stack({label(tr("検索"), 12), searchField_, new QWidget}, Qt::Horizontal, 8);

    browseScroll_ = gridScroll(browseGrid_);
    browseScroll_->setObjectName(QStringLiteral("browseScroll"));
    browseScroll_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QWidget* strip = makeKeyStrip([this](Key key) { emit keyPressed(key); });
    QWidget* gridRow = stack({browseScroll_, strip}, Qt::Horizontal, 12, StackAlignment::Top);
    fillAcross(gridRow, browseScroll_);
    gridRow->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    resultLabel_->setObjectName(QStringLiteral("resultLabel"));
    QWidget* infoRow =
        stack({resultLabel_, new QWidget, label(tr("書体"), 12), fontPopup_}, Qt::Horizontal, 8);

    const QList<QWidget*> rows = {selectors, searchRow, gridRow, infoRow};
    QWidget* column = stack(rows, Qt::Vertical, 8, StackAlignment::Leading);
    for (QWidget* row : rows) fillAcross(column, row);
    pin(column, this);
    // Once the pop-ups are in place, as their lists stay with the windows they are made in.
    for (QComboBox* box :
         {rangePopup_, countPopup_, radicalCountPopup_, radicalPopup_, fontPopup_}) {
        openWithoutFocus(box);
        connect(box, &QComboBox::currentIndexChanged, this, &PadMode::choiceChanged);
    }
    connect(scope_, &QCheckBox::toggled, this, &PadMode::choiceChanged);
}

void BrowseMode::saveChoices(QSettings& settings) const {
    const auto range = static_cast<std::size_t>(std::max(rangePopup_->currentIndex(), 0));
    if (range < ranges_.size()) {
        settings.setValue(QStringLiteral("browse/rangeStart"),
                          static_cast<uint>(ranges_[range].first));
    }
    settings.setValue(QStringLiteral("browse/strokeCount"), countPopup_->currentIndex() + 1);
    settings.setValue(QStringLiteral("browse/radicalStrokes"), radicalCountPopup_->currentIndex());
    const auto radical = static_cast<std::size_t>(std::max(radicalPopup_->currentIndex(), 0));
    if (radical < radicalNumbers_.size()) {
        settings.setValue(QStringLiteral("browse/radical"),
                          static_cast<qlonglong>(radicalNumbers_[radical]));
    }
    settings.setValue(QStringLiteral("browse/basicKanjiOnly"), scope_->isChecked());
    settings.setValue(QStringLiteral("browse/font"), fontPopup_->currentText());
}

void BrowseMode::restoreChoices(const QSettings& settings) {
    // A number from the file, if it is one within [first, last].
    const auto number = [&settings](const char* key, qlonglong first,
                                    qlonglong last) -> std::optional<qlonglong> {
        bool ok = false;
        const qlonglong value = settings.value(QString::fromLatin1(key)).toLongLong(&ok);
        if (!ok || value < first || value > last) return std::nullopt;
        return value;
    };
    if (const auto start = number("browse/rangeStart", 0, 0x10FFFF)) {
        const auto found = std::find_if(ranges_.begin(), ranges_.end(), [&](const NamedRange& r) {
            return r.first == static_cast<char32_t>(*start);
        });
        if (found != ranges_.end()) {
            rangePopup_->setCurrentIndex(static_cast<int>(found - ranges_.begin()));
        }
    }
    if (const auto count = number("browse/strokeCount", 1, countPopup_->count())) {
        countPopup_->setCurrentIndex(static_cast<int>(*count) - 1);
    }
    if (const auto strokes = number("browse/radicalStrokes", 0, radicalCountPopup_->count() - 1)) {
        radicalCountPopup_->setCurrentIndex(static_cast<int>(*strokes));
    }
    if (const auto radical = number("browse/radical", 1, 214)) {
        const auto found = std::find(radicalNumbers_.begin(), radicalNumbers_.end(), *radical);
        if (found != radicalNumbers_.end()) {
            radicalPopup_->setCurrentIndex(static_cast<int>(found - radicalNumbers_.begin()));
        }
    }
    if (const QVariant scope = settings.value(QStringLiteral("browse/basicKanjiOnly"));
        scope.isValid()) {
        scope_->setChecked(scope.toBool());
    }
    if (const int font =
            fontPopup_->findText(settings.value(QStringLiteral("browse/font")).toString());
        font >= 0) {
        fontPopup_->setCurrentIndex(font);
    }
}

void BrowseMode::enter(Mode mode) {
    mode_ = mode;
    refreshBrowse();
}

void BrowseMode::setDatabase(std::shared_ptr<const CharacterDatabase> database) {
    database_ = std::move(database);
    refreshBrowse();
}

void BrowseMode::refreshBrowse() {
    if (!database_) return;
    const BrowseSelectors shown = selectorsFor(mode_);
    rangePopup_->setVisible(shown.range);
    countPopup_->setVisible(shown.count);
    radicalCountPopup_->setVisible(shown.radical);
    radicalPopup_->setVisible(shown.radical);
    scope_->setVisible(shown.scope);

    BrowseState state;
    state.mode = mode_;
    state.search = searchField_->text();
    state.rangeIndex = rangePopup_->currentIndex();
    state.countIndex = countPopup_->currentIndex();
    state.radicalIndex = radicalPopup_->currentIndex();
    state.japaneseOnly = scope_->isChecked();
    QStringList list = browseList(*database_, state, radicalNumbers_, ranges_);
    const qsizetype count = list.size();
    browseGrid_->setCharacters(std::move(list));
    resultLabel_->setText(tr("%n文字", nullptr, static_cast<int>(count)));

    browseScroll_->verticalScrollBar()->setValue(0);
    browseScroll_->horizontalScrollBar()->setValue(0);
}

void BrowseMode::filterRadicals() {
    radicalNumbers_ = radicalNumbersFor(radicalCountPopup_->currentIndex(), radicalStrokeEnds_);
    {
        // One refresh after the refill, not one per change of the selection during it.
        const QSignalBlocker quiet(radicalPopup_);
        radicalPopup_->clear();
        for (const std::int64_t n : radicalNumbers_) radicalPopup_->addItem(radicalTitle(n));
        radicalPopup_->setCurrentIndex(0);
    }
    refreshBrowse();
}

void BrowseMode::changeFont() {
    const int selected = fontPopup_->currentIndex();
    browseGrid_->setFontName(selected >= 0 ? fontPopup_->itemText(selected)
                                           : CharacterGrid::kDefaultFontName);
}

}  // namespace sumiro
