#include "views/ActionButton.h"

#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>

namespace sumiro {

ActionButton::ActionButton(QWidget* parent) : QPushButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    // Shrinkable down to minimumSizeHint, not only to the style's preferred width.
    setSizePolicy(QSizePolicy::Preferred, sizePolicy().verticalPolicy());
    connect(this, &QPushButton::clicked, this, &ActionButton::performAction);
}

ActionButton::ActionButton(const QString& title, std::function<void()> action, QWidget* parent)
    : ActionButton(parent) {
    // A button reads "&" as the mark of a mnemonic and would show the key "&" blank.
    setText(QString(title).replace(u'&', QStringLiteral("&&")));
    setAccessibleName(title);
    actionBlock = std::move(action);
}

void ActionButton::performAction() {
    if (actionBlock) actionBlock();
}

QSize ActionButton::minimumSizeHint() const {
    const QSize preferred = QPushButton::minimumSizeHint();
    QStyleOptionButton option;
    initStyleOption(&option);
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this) +
                             style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this));
    const int title = fontMetrics().size(Qt::TextShowMnemonic, text()).width();
    return {std::min(preferred.width(), title + margins), preferred.height()};
}

}  // namespace sumiro
