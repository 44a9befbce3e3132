// The browse mode: characters by Unicode range, stroke count or radical, with search.

#include <QFontDatabase>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

#include "controller/AppDelegate.h"
#include "controller/BrowseQuery.h"
#include "controller/PopupChoice.h"
#include "controller/SearchFocus.h"
#include "views/GridScrollView.h"

namespace sumiro {

namespace {

// Font families in text order: by the scalar values of their canonical composition.
QStringList sortedFamilies() {
    QStringList families = QFontDatabase::families();
    std::vector<std::pair<QList<uint>, QString>> keyed;
    keyed.reserve(static_cast<std::size_t>(families.size()));
    for (QString& family : families) {
        keyed.emplace_back(family.normalized(QString::NormalizationForm_C).toUcs4(),
                           std::move(family));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList sorted;
    for (auto& [key, family] : keyed) sorted.append(std::move(family));
    return sorted;
}

}  // namespace

QWidget* AppDelegate::makeBrowsing() {
    QPointer<AppDelegate> self(this);
    const auto refresh = [self] {
        if (self) self->refreshBrowse();
    };
    // Pop-ups and the check box are clicked, never focused: the panel leaves the keyboard to
    // the target.
    for (QWidget* control : std::initializer_list<QWidget*>{
             countPopup, radicalCountPopup, radicalPopup, rangePopup, fontPopup, scope}) {
        control->setFocusPolicy(Qt::NoFocus);
    }
    for (QComboBox* popup : {countPopup, radicalCountPopup, radicalPopup, rangePopup, fontPopup}) {
        chooseOnSelection(popup);
        openWithoutFocus(popup);
    }

    countPopup->setObjectName(QStringLiteral("countPopup"));
    countPopup->addItems(strokeCountTitles());
    countPopup->setCurrentIndex(3);
    connect(countPopup, &QComboBox::currentIndexChanged, this, refresh);

    radicalCountPopup->setObjectName(QStringLiteral("radicalCountPopup"));
    radicalCountPopup->addItems(radicalCountTitles());
    radicalCountPopup->setCurrentIndex(0);
    connect(radicalCountPopup, &QComboBox::currentIndexChanged, this, [self] {
        if (self) self->filterRadicals();
    });

    radicalPopup->setObjectName(QStringLiteral("radicalPopup"));
    connect(radicalPopup, &QComboBox::currentIndexChanged, this, refresh);
    filterRadicals();

    rangePopup->setObjectName(QStringLiteral("rangePopup"));
    for (const NamedRange& range : ranges) rangePopup->addItem(range.name);
    rangePopup->setCurrentIndex(0);
    connect(rangePopup, &QComboBox::currentIndexChanged, this, refresh);

    scope->setObjectName(QStringLiteral("scope"));
    scope->setChecked(true);
    connect(scope, &QCheckBox::toggled, this, refresh);

    searchField->setObjectName(QStringLiteral("searchField"));
    searchField->setPlaceholderText(QStringLiteral("文字・読み・U+コード"));
    searchField->setAccessibleName(QStringLiteral("検索"));
    searchField->setClearButtonEnabled(true);
    searchField->setFixedWidth(205);
    connect(searchField, &QLineEdit::textChanged, this, refresh);
    // The panel takes the keyboard only while the field is typed in; afterwards the target
    // application is brought back to the front.
    new SearchFocus(searchField, panel.get(), [self] {
        if (!self) return;
        if (self->input.targetRunning())
            self->environment_.platform->activate(*self->input.target());
    });

    fontPopup->setObjectName(QStringLiteral("fontPopup"));
    fontPopup->addItems(sortedFamilies());
    if (const int noto = fontPopup->findText(CharacterGrid::kDefaultFontName); noto >= 0) {
        fontPopup->setCurrentIndex(noto);
    }
    fontPopup->setFixedWidth(220);
    connect(fontPopup, &QComboBox::currentIndexChanged, this, [self] {
        if (self) self->changeFont();
    });

    QWidget* selectors =
        stack({rangePopup, countPopup, radicalCountPopup, radicalPopup, scope, new QWidget},
              Qt::Horizontal, 8);
    delete browseControls;  // the empty placeholder made with the controller
    browseControls = selectors;
    browseControls->setObjectName(QStringLiteral("browseControls"));

    QWidget* searchRow =
        stack({label(QStringLiteral("検索"), 12), searchField, new QWidget}, Qt::Horizontal, 8);

    QWidget* scroll = gridScroll(browseGrid);
    scroll->setObjectName(QStringLiteral("browseScroll"));
    scroll->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QWidget* gridRow = stack({scroll, makeKeyStrip()}, Qt::Horizontal, 12, StackAlignment::Top);
    fillAcross(gridRow, scroll);
    gridRow->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    resultLabel->setObjectName(QStringLiteral("resultLabel"));
    QWidget* infoRow =
        stack({resultLabel, new QWidget, label(QStringLiteral("書体"), 12), fontPopup},
              Qt::Horizontal, 8);

    const QList<QWidget*> rows = {browseControls, searchRow, gridRow, infoRow};
    QWidget* column = stack(rows, Qt::Vertical, 8, StackAlignment::Leading);
    for (QWidget* row : rows) fillAcross(column, row);
    column->setObjectName(QStringLiteral("browsing"));
    return column;
}

void AppDelegate::refreshBrowse() {
    if (!database) return;
    BrowseState state;
    state.segment = mode ? mode->selectedSegment() : 0;
    const BrowseSelectors shown = selectorsFor(state.segment);
    rangePopup->setVisible(shown.range);
    countPopup->setVisible(shown.count);
    radicalCountPopup->setVisible(shown.radical);
    radicalPopup->setVisible(shown.radical);
    scope->setVisible(shown.scope);

    state.search = searchField->text();
    state.rangeIndex = rangePopup->currentIndex();
    state.countIndex = countPopup->currentIndex();
    state.radicalIndex = radicalPopup->currentIndex();
    state.japaneseOnly = scope->isChecked();
    QStringList list = browseList(*database, state, radicalNumbers, ranges);
    const qsizetype count = list.size();
    browseGrid->setCharacters(std::move(list));
    resultLabel->setText(QString::number(count) + QStringLiteral("文字"));

    for (QWidget* up = browseGrid->parentWidget(); up; up = up->parentWidget()) {
        if (auto* scroll = qobject_cast<QScrollArea*>(up)) {
            scroll->verticalScrollBar()->setValue(0);
            scroll->horizontalScrollBar()->setValue(0);
            break;
        }
    }
}

void AppDelegate::filterRadicals() {
    radicalNumbers = radicalNumbersFor(radicalCountPopup->currentIndex(), radicalStrokeEnds);
    {
        // One refresh after the refill, not one per change of the selection during it.
        const QSignalBlocker quiet(radicalPopup);
        radicalPopup->clear();
        for (const std::int64_t n : radicalNumbers) radicalPopup->addItem(radicalTitle(n));
        radicalPopup->setCurrentIndex(0);
    }
    refreshBrowse();
}

void AppDelegate::changeFont() {
    const int selected = fontPopup->currentIndex();
    browseGrid->setFontName(selected >= 0 ? fontPopup->itemText(selected)
                                          : CharacterGrid::kDefaultFontName);
}

}  // namespace sumiro
