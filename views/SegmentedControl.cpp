#include "views/SegmentedControl.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QScopedValueRollback>

namespace sumiro {

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);  // owned by this control
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    group_.setExclusive(true);
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QPushButton(labels[i], this);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAccessibleName(labels[i]);
        // Room beside a long title too, as the short ones get from the style's minimum width.
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(labels[i]) + 24);
        group_.addButton(button, i);
        row->addWidget(button);
    }
    // Toggled, not clicked: assistive technology selects a segment with its toggle action.
    connect(&group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked && !selecting_ && action) action();
    });
}

int SegmentedControl::selectedSegment() const { return group_.checkedId(); }

void SegmentedControl::setSelectedSegment(int index) {
    const QScopedValueRollback<bool> quiet(selecting_, true);
    if (QAbstractButton* button = group_.button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked: lift the rule to clear it.
    if (QAbstractButton* checked = group_.checkedButton()) {
        group_.setExclusive(false);
        checked->setChecked(false);
        group_.setExclusive(true);
    }
}

int SegmentedControl::segmentCount() const { return static_cast<int>(group_.buttons().size()); }

QAbstractButton* SegmentedControl::segment(int index) const { return group_.button(index); }

}  // namespace sumiro
