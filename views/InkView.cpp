#include "views/InkView.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace sumiro {

namespace {

constexpr double kFrameInset = 1.0;
constexpr double kFrameRadius = 8.0;
constexpr double kGuideMargin = 12.0;
constexpr double kInkWidth = 4.0;
constexpr int kPlaceholderPixels = 19;
constexpr double kPlaceholderRise = 35.0;  // top of the hint above the horizontal guide

}  // namespace

QString InkView::placeholder() { return QCoreApplication::translate("InkView", "ここに1文字書く"); }

InkView::InkView(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::NoFocus); }

void InkView::setStrokes(Ink strokes) {
    recorder_.setStrokes(std::move(strokes));
    update();  // keep the picture in step with the ink
}

void InkView::undoStroke() {
    recorder_.undoStroke();
    update();
    notify();
}

void InkView::clear() {
    recorder_.clear();
    update();
    notify();
}

void InkView::notify() {
    if (changed) changed();
}

InkPoint InkView::point(const QMouseEvent& event) const {
    return unitPoint(event.position(), QSizeF(size()));
}

void InkView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    recorder_.press(point(*event));
    update();
}

void InkView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return QWidget::mouseMoveEvent(event);
    if (recorder_.drag(point(*event))) update();
}

void InkView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    if (!recorder_.release(point(*event))) return;
    update();
    notify();
}

void InkView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colors = palette();
    const double w = width();
    const double h = height();
    const double midX = w * 0.5;
    const double midY = h * 0.5;

    const QRectF frame =
        QRectF(rect()).adjusted(kFrameInset, kFrameInset, -kFrameInset, -kFrameInset);
    painter.setPen(QPen(colors.color(QPalette::Mid), 1.0));
    painter.setBrush(colors.color(QPalette::Base));
    painter.drawRoundedRect(frame, kFrameRadius, kFrameRadius);

    QPen guide(colors.color(QPalette::Mid), 1.0);
    guide.setDashPattern({4.0, 5.0});  // units of the pen width, which is 1
    painter.setPen(guide);
    painter.drawLine(QPointF(midX, kGuideMargin), QPointF(midX, h - kGuideMargin));
    painter.drawLine(QPointF(kGuideMargin, midY), QPointF(w - kGuideMargin, midY));

    if (strokes().empty()) {
        QFont hint = font();
        hint.setPixelSize(kPlaceholderPixels);
        const QFontMetricsF metrics(hint);
        const QString hintText = placeholder();
        const double textWidth = metrics.horizontalAdvance(hintText);
        painter.setFont(hint);
        painter.setPen(colors.color(QPalette::PlaceholderText));
        painter.drawText(QPointF((w - textWidth) * 0.5, midY - kPlaceholderRise + metrics.ascent()),
                         hintText);
    }

    const QColor ink = colors.color(QPalette::WindowText);
    QPen inkPen(ink, kInkWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (const Stroke& stroke : strokes()) {
        if (stroke.empty()) continue;
        const QPointF first(stroke.front().x * w, stroke.front().y * h);
        const bool dot = std::all_of(stroke.begin() + 1, stroke.end(),
                                     [&](const InkPoint& p) { return p == stroke.front(); });
        if (dot) {
            // A stroke just pressed, or a click: a dot as wide as the ink. Qt's stroker drops
            // zero-length segments, so the round cap would not show on its own.
            painter.setPen(Qt::NoPen);
            painter.setBrush(ink);
            painter.drawEllipse(first, kInkWidth * 0.5, kInkWidth * 0.5);
            continue;
        }
        QPainterPath path(first);
        for (std::size_t i = 1; i < stroke.size(); ++i) {
            path.lineTo(stroke[i].x * w, stroke[i].y * h);
        }
        painter.setPen(inkPen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
}

}  // namespace sumiro
