#pragma once

#include <QButtonGroup>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace sumiro {

/// A row of exclusive toggle buttons, one per segment, of which at most one is selected. The
/// buttons never take keyboard focus and are listed to assistive technology under their titles.
class SegmentedControl : public QWidget {
public:
    explicit SegmentedControl(const QStringList& labels, QWidget* parent = nullptr);

    /// The selected segment, -1 when none is.
    int selectedSegment() const;
    /// Selects segment `index` (-1 or an index out of range: none) without running `action`.
    void setSelectedSegment(int index);
    int segmentCount() const;
    /// The button of segment `index`.
    QAbstractButton* segment(int index) const;

    /// Run after the user (or assistive technology) selects another segment.
    std::function<void()> action;

private:
    QButtonGroup group_;
    bool selecting_ = false;
};

}  // namespace sumiro
