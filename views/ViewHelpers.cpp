#include "views/ViewHelpers.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QGridLayout>
#include <QPainter>
#include <QStyle>
#include <cmath>

namespace sumiro {

namespace {
int pixels(double length) { return std::max(0, static_cast<int>(std::lround(length))); }

// What the stack helpers take for "a new empty view": a flexible space.
bool isSpacer(const QWidget* view) {
    return view->metaObject() == &QWidget::staticMetaObject && !view->layout() &&
           view->children().isEmpty();
}

Qt::Alignment crossAlignment(Qt::Orientation orientation, StackAlignment alignment) {
    const bool column = orientation == Qt::Vertical;
    switch (alignment) {
        case StackAlignment::Center:
            return column ? Qt::AlignHCenter : Qt::AlignVCenter;
        case StackAlignment::Leading:
            return column ? Qt::AlignLeading : Qt::AlignTop;
        case StackAlignment::Top:
            return column ? Qt::AlignLeading : Qt::AlignTop;
        case StackAlignment::Fill:
            break;
    }
    return {};
}
}  // namespace

void TextLabel::setTruncatesTail(bool truncates) {
    truncatesTail_ = truncates;
    if (truncates) {
        setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
        setWordWrap(false);
    }
    updateGeometry();
    update();
}

QSize TextLabel::minimumSizeHint() const {
    if (!truncatesTail_) return QLabel::minimumSizeHint();
    return {0, QLabel::minimumSizeHint().height()};
}

void TextLabel::setTextCutInMiddle(const QString& head, const QString& middle,
                                   const QString& tail) {
    head_ = head;
    middle_ = middle;
    tail_ = tail;
    setText(head + middle + tail);
}

QString TextLabel::shownText() const {
    const int width = contentsRect().width();
    const QFontMetrics metrics = fontMetrics();
    if (!truncatesTail_ || metrics.horizontalAdvance(text()) <= width) return text();
    if (!middle_.isEmpty() && text() == head_ + middle_ + tail_) {
        const int room = width - metrics.horizontalAdvance(head_ + tail_);
        const QString cut = metrics.elidedText(middle_, Qt::ElideRight, room);
        if (!cut.isEmpty()) return head_ + cut + tail_;
    }
    return metrics.elidedText(text(), Qt::ElideRight, width);
}

void TextLabel::paintEvent(QPaintEvent* event) {
    const QRect area = contentsRect();
    const QString shown = shownText();
    if (shown == text()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), shown, foregroundRole());
}

TextLabel* label(const QString& text, double size, QFont::Weight weight) {
    auto* result = new TextLabel(text);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(std::max(1, pixels(size)));
    font.setWeight(weight);
    result->setFont(font);
    result->setTextInteractionFlags(Qt::NoTextInteraction);
    result->setFocusPolicy(Qt::NoFocus);
    // Characters such as "<" are text, never the start of markup.
    result->setTextFormat(Qt::PlainText);
    return result;
}

QWidget* stack(const QList<QWidget*>& views, Qt::Orientation orientation, double spacing,
               StackAlignment alignment, StackDistribution distribution) {
    auto* container = new QWidget;
    auto* layout = new QBoxLayout(
        orientation == Qt::Vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight,
        container);  // owned by the container
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixels(spacing));
    const Qt::Alignment across = crossAlignment(orientation, alignment);
    for (QWidget* view : views) {
        int stretch = distribution == StackDistribution::FillEqually ? 1 : 0;
        if (isSpacer(view)) {
            stretch = 1;
            view->setSizePolicy(orientation == Qt::Horizontal
                                    ? QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum)
                                    : QSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding));
        }
        layout->addWidget(view, stretch, across);
    }
    return container;
}

void fillAcross(QWidget* stackView, QWidget* view) {
    if (auto* layout = qobject_cast<QBoxLayout*>(stackView->layout())) {
        layout->setAlignment(view, {});
    }
}

void pin(QWidget* view, QWidget* container, double inset) {
    auto* grid = qobject_cast<QGridLayout*>(container->layout());
    if (!grid) {
        Q_ASSERT_X(!container->layout(), "pin", "container already has another layout");
        grid = new QGridLayout(container);  // owned by the container
        grid->setSpacing(0);
    }
    const int margin = pixels(inset);
    grid->setContentsMargins(margin, margin, margin, margin);
    grid->addWidget(view, 0, 0);
}

}  // namespace sumiro
