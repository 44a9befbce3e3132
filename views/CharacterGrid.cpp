#include "views/CharacterGrid.h"

#include <QAccessible>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "views/AccessibleCharacter.h"
#include "views/FontCoverage.h"

namespace sumiro {

namespace {

constexpr int kCodePixels = 10;
constexpr double kSelectedAlpha = 0.18;
constexpr double kHoveredAlpha = 0.08;
constexpr double kOutlineAlpha = 0.5;
constexpr double kOutlineWidth = 0.5;

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

}  // namespace

QString CharacterGrid::fittedCodeLabel(QStringView character, double width) const {
    // Two scalars already overflow a cell on one line: then give each scalar its own line.
    QString label = codeLabel(character);
    if (QFontMetricsF(codeFont_).horizontalAdvance(label) > width - 2.0) {
        label = codeLabel(character, u"\n");
    }
    return label;
}

const QString CharacterGrid::kDefaultFontName = QStringLiteral("Noto Sans CJK JP");

CharacterGrid::CharacterGrid(QWidget* parent) : QWidget(parent) {
    installAccessibleGrid();
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    resolveFont();
}

CharacterGrid::~CharacterGrid() = default;

void CharacterGrid::setCharacters(QStringList characters) {
    characters_ = std::move(characters);
    keys_.clear();
    keys_.reserve(characters_.size());
    for (const QString& character : std::as_const(characters_)) {
        keys_.append(character.normalized(QString::NormalizationForm_C));
    }
    hoverIndex_.reset();
    fitHeight();
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
}

void CharacterGrid::setSelected(std::optional<QString> character) {
    selected_ = std::move(character);
    selectedKey_ = selected_ ? selected_->normalized(QString::NormalizationForm_C) : QString();
    update();
}

void CharacterGrid::setFontName(const QString& name) {
    fontName_ = name;
    resolveFont();
    update();
}

void CharacterGrid::setFontSize(double size) {
    fontSize_ = size;
    resolveFont();
    update();
}

void CharacterGrid::resolveFont() {
    // Resolved here rather than per paint: a family lookup is far too slow for every pass.
    font_ = QFontDatabase::hasFamily(fontName_)
                ? QFont(fontName_)
                : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font_.setPixelSize(std::max(1, static_cast<int>(std::lround(fontSize_))));
    codeFont_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    codeFont_.setPixelSize(kCodePixels);
}

IndexRange CharacterGrid::visibleRange() const {
    const QRect visible = visibleRegion().boundingRect();
    if (visible.isEmpty()) return {};
    return gridLayout().rowsBetween(visible.top(), visible.bottom());
}

bool CharacterGrid::isSelected(qsizetype index) const {
    return selected_ && index >= 0 && index < keys_.size() && keys_[index] == selectedKey_;
}

void CharacterGrid::press(qsizetype index) {
    if (index < 0 || index >= characters_.size()) return;
    const QString character = characters_[index];  // the callback may replace the list
    setSelected(character);
    if (clicked) clicked(character);
}

void CharacterGrid::fitHeight() {
    const int height = static_cast<int>(std::ceil(gridLayout().height()));
    if (this->height() != height) resize(width(), height);
}

void CharacterGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A change of height alone (our own refit) must not refit again.
    if (event->oldSize().width() != event->size().width()) fitHeight();
}

void CharacterGrid::updateCell(std::optional<qsizetype> index) {
    if (index) update(gridLayout().pitchRect(*index).toAlignedRect());
}

void CharacterGrid::mouseMoveEvent(QMouseEvent* event) {
    const std::optional<qsizetype> index = gridLayout().indexAt(event->position());
    if (index != hoverIndex_) {
        // Only the two cells whose mark changed need painting.
        updateCell(hoverIndex_);
        updateCell(index);
        hoverIndex_ = index;
    }
    if (index && hovered) hovered(QString(characters_[*index]));
}

void CharacterGrid::leaveEvent(QEvent* event) {
    updateCell(hoverIndex_);
    hoverIndex_.reset();
    QWidget::leaveEvent(event);
}

void CharacterGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    if (const std::optional<qsizetype> index = gridLayout().indexAt(event->position())) {
        press(*index);
    }
}

void CharacterGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QPalette& colors = palette();
    const QRect dirty = event->rect();
    painter.fillRect(dirty, colors.color(QPalette::Base));

    const GridLayout layout = gridLayout();
    lastPaint_ = {layout.rowsBetween(dirty.top(), dirty.bottom()), 0};
    const IndexRange range = lastPaint_.rows;
    if (range.empty()) return;

    painter.setRenderHint(QPainter::Antialiasing);
    const QColor selectedFill = withAlpha(colors.color(QPalette::Highlight), kSelectedAlpha);
    const QColor hoveredFill = withAlpha(colors.color(QPalette::Highlight), kHoveredAlpha);
    const QPen outline(withAlpha(colors.color(QPalette::Mid), kOutlineAlpha), kOutlineWidth);
    const QPen text(colors.color(QPalette::WindowText));
    const FontCoverage& coverage = FontCoverage::installed();
    const QRegion& region = event->region();

    for (qsizetype i = range.first; i < range.end; ++i) {
        if (!region.intersects(layout.pitchRect(i).toAlignedRect())) continue;
        ++lastPaint_.cells;
        const QRectF cell = layout.drawnRect(i);
        const bool selected = isSelected(i);
        const bool hovered = hoverIndex_ == i;
        painter.setPen(Qt::NoPen);
        if (selected || hovered) {
            painter.setBrush(selected ? selectedFill : hoveredFill);
            painter.drawRoundedRect(cell, GridLayout::kCellRadius, GridLayout::kCellRadius);
        }
        painter.setPen(outline);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(cell, GridLayout::kCellRadius, GridLayout::kCellRadius);

        const QString& character = characters_[i];
        painter.setPen(text);
        if (coverage.renders(character)) {
            painter.setFont(font_);
            painter.drawText(cell, Qt::AlignCenter, character);
        } else {
            painter.setFont(codeFont_);
            painter.drawText(cell, Qt::AlignCenter, fittedCodeLabel(character, cell.width()));
        }
    }
}

}  // namespace sumiro
