#pragma once

#include <QFont>
#include <QLabel>
#include <QList>
#include <QWidget>

namespace sumiro {

/// A label that can truncate its text at the tail (with an ellipsis) instead of widening its
/// window; the full text stays its text and its accessible name.
class TextLabel : public QLabel {
public:
    using QLabel::QLabel;

    /// Whether a text wider than the label is cut at the tail; off by default.
    void setTruncatesTail(bool truncates);
    bool truncatesTail() const { return truncatesTail_; }
    /// Sets the text `head` + `middle` + `tail`, of which a label that truncates cuts the middle
    /// first, so that the head and the tail stay whole while they fit. A later setText() shows
    /// its text as any other.
    void setTextCutInMiddle(const QString& head, const QString& middle, const QString& tail);
    /// What the label shows of its text in its present width.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool truncatesTail_ = false;
    // The parts of the text given to setTextCutInMiddle, while it is still the text.
    QString head_, middle_, tail_;
};

/// A read-only, non-selectable label showing `text` in the system font of `size` pixels and
/// the given weight. The caller places it (a stack or a layout becomes its parent).
TextLabel* label(const QString& text, double size = 13.0, QFont::Weight weight = QFont::Normal);

/// How a stack places its views across its axis.
enum class StackAlignment {
    Center,   ///< centred across the axis
    Leading,  ///< at the left of a column (the top of a row)
    Top,      ///< at the top of a row (the left of a column)
    Fill,     ///< stretched across the whole stack
};

/// How a stack shares extra room along its axis.
enum class StackDistribution {
    Fill,         ///< views keep their size; empty plain views and growing views take the rest
    FillEqually,  ///< every view gets the same share
};

/// A new container laying `views` out in order (it becomes their parent), `spacing` pixels
/// apart, no margins. An empty plain QWidget among them is a flexible space. The caller places
/// the container.
QWidget* stack(const QList<QWidget*>& views, Qt::Orientation orientation = Qt::Horizontal,
               double spacing = 8.0, StackAlignment alignment = StackAlignment::Center,
               StackDistribution distribution = StackDistribution::Fill);

/// Stretches `view`, one of the views of `stackView`, across the whole stack (its width in a
/// column, its height in a row), whatever the stack's alignment.
void fillAcross(QWidget* stackView, QWidget* view);

/// Makes `view` a child of `container` filling it with a margin of `inset` on every side.
/// Several views pinned to one container lie on top of each other (hide all but one); the
/// last inset given applies to all of them.
void pin(QWidget* view, QWidget* container, double inset = 0.0);

}  // namespace sumiro
