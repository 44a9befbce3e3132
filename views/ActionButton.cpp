#include "views/ActionButton.h"

namespace sumiro {

ActionButton::ActionButton(QWidget* parent) : QPushButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QPushButton::clicked, this, &ActionButton::performAction);
}

ActionButton::ActionButton(const QString& title, std::function<void()> action, QWidget* parent)
    : ActionButton(parent) {
    setText(title);
    actionBlock = std::move(action);
}

void ActionButton::performAction() {
    if (actionBlock) actionBlock();
}

}  // namespace sumiro
