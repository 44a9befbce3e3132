#include "views/ActionButton.h"

namespace sumiro {

ActionButton::ActionButton(QWidget* parent) : QPushButton(parent) {
    setFocusPolicy(Qt::NoFocus);
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

}  // namespace sumiro
