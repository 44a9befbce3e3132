#include "views/GridLayout.h"

#include <algorithm>
#include <cmath>

namespace sumiro {

namespace {

// Truncation toward zero of a finite non-negative quotient; anything else (negative, NaN,
// infinite) is treated as zero or as "too far" by the callers' own checks.
qsizetype cellsIn(double length) {
    const double cells = std::floor(length / GridLayout::kCell);
    if (!(cells >= 0.0)) return 0;
    constexpr double kMax = 1e15;  // far beyond any list, well inside qsizetype
    return static_cast<qsizetype>(std::min(cells, kMax));
}

}  // namespace

GridLayout::GridLayout(double width, qsizetype count)
    : columns_(static_cast<int>(std::clamp<qsizetype>(cellsIn(width), 1, 1 << 20))),
      count_(std::max<qsizetype>(count, 0)) {}

qsizetype GridLayout::rows() const { return (count_ + columns_ - 1) / columns_; }

double GridLayout::height() const { return std::max(static_cast<double>(rows()) * kCell, 1.0); }

QRectF GridLayout::pitchRect(qsizetype index) const {
    const qsizetype column = index % columns_;
    const qsizetype row = index / columns_;
    return {static_cast<double>(column) * kCell, static_cast<double>(row) * kCell, kCell, kCell};
}

QRectF GridLayout::drawnRect(qsizetype index) const {
    return pitchRect(index).adjusted(kCellMargin, kCellMargin, -kCellMargin, -kCellMargin);
}

std::optional<qsizetype> GridLayout::indexAt(QPointF point) const {
    const double x = point.x();
    const double y = point.y();
    if (!(x >= 0.0) || !(y >= 0.0)) return std::nullopt;
    if (!(x < columns_ * kCell)) return std::nullopt;
    const qsizetype row = cellsIn(y);
    if (row >= rows()) return std::nullopt;
    const qsizetype index = row * columns_ + cellsIn(x);
    if (index >= count_) return std::nullopt;
    return index;
}

IndexRange GridLayout::rowsBetween(double top, double bottom) const {
    const qsizetype firstRow = cellsIn(top);
    const qsizetype lastRow = cellsIn(bottom);
    if (firstRow >= rows()) return {count_, count_};
    const qsizetype first = firstRow * columns_;
    const qsizetype end = std::min((std::min(lastRow, rows()) + 1) * columns_, count_);
    return {first, std::max(first, end)};
}

QString codeLabel(QStringView text, QStringView separator) {
    QString label;
    label.reserve(text.size() * 5);
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t scalar = text[i].unicode();
        if (QChar::isHighSurrogate(scalar) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            scalar = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (!label.isEmpty()) label += separator;
        label += QStringLiteral("%1").arg(static_cast<uint>(scalar), 4, 16, QLatin1Char('0'));
    }
    return label.toUpper();
}

bool widthNeedsUpdate(double current, double target) {
    return !(std::abs(current - target) <= 0.1);
}

}  // namespace sumiro
