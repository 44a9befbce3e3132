#include "views/ViewHelpers.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QGridLayout>
#include <cmath>

namespace sumiro {

namespace {
int pixels(double length) { return std::max(0, static_cast<int>(std::lround(length))); }
}  // namespace

std::unique_ptr<QLabel> label(const QString& text, double size, bool bold) {
    auto result = std::make_unique<QLabel>(text);
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(std::max(1, pixels(size)));
    font.setBold(bold);
    result->setFont(font);
    result->setTextInteractionFlags(Qt::NoTextInteraction);
    result->setFocusPolicy(Qt::NoFocus);
    return result;
}

std::unique_ptr<QWidget> stack(std::initializer_list<QWidget*> views, bool vertical,
                               double spacing) {
    auto container = std::make_unique<QWidget>();
    auto* layout = new QBoxLayout(vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight,
                                  container.get());  // owned by the container
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(pixels(spacing));
    const Qt::Alignment alignment = vertical ? Qt::AlignLeading : Qt::AlignVCenter;
    for (QWidget* view : views) layout->addWidget(view, 0, alignment);
    return container;
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
