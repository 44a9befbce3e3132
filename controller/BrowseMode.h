#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "controller/BrowseQuery.h"
#include "controller/PadMode.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QScrollArea;

namespace sumiro {

class CharacterGrid;
class TextLabel;

/// "文字一覧", "総画数" and "部首": the characters of a Unicode range ("rangePopup"), of a total
/// stroke count ("countPopup") or with a radical ("radicalCountPopup", "radicalPopup"), narrowed
/// by the search field ("searchField") and, but for ranges, to the basic kanji ("scope"), listed
/// in the grid ("browseGrid") in the font of "fontPopup", with their count ("resultLabel").
class BrowseMode final : public PadMode {
    Q_OBJECT

public:
    BrowseMode();

    /// Shows the selectors of `mode` and lists its characters.
    void enter(Mode mode) override;
    void setDatabase(std::shared_ptr<const CharacterDatabase> database) override;
    /// The range, the stroke count, the radical with its stroke count, the scope and the font.
    void saveChoices(QSettings& settings) const override;
    void restoreChoices(const QSettings& settings) override;

    /// The twelve ranges of "文字一覧", in the order of its pop-up.
    static std::vector<NamedRange> defaultRanges();

signals:
    /// Typing in the search field ended: the target should have the keyboard again.
    void keyboardGivenBack();

private:
    /// Lists the characters the controls ask for, from the top.
    void refreshBrowse();
    /// Fills the radical pop-up with the radicals of the chosen stroke count.
    void filterRadicals();
    void changeFont();

    const std::vector<NamedRange> ranges_;
    // The last radical number of each stroke count, 1 to 17.
    const std::vector<std::int64_t> radicalStrokeEnds_;
    std::vector<std::int64_t> radicalNumbers_;  // the radicals listed in radicalPopup_
    std::shared_ptr<const CharacterDatabase> database_;
    Mode mode_ = Mode::Ranges;
    QComboBox* rangePopup_;
    QComboBox* countPopup_;
    QComboBox* radicalCountPopup_;
    QComboBox* radicalPopup_;
    QCheckBox* scope_;
    QLineEdit* searchField_;
    CharacterGrid* browseGrid_;
    QScrollArea* browseScroll_ = nullptr;
    TextLabel* resultLabel_;
    QComboBox* fontPopup_;
};

}  // namespace sumiro
