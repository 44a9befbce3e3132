#include "controller/SearchFocus.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWindow>

#include "input/WindowServices.h"
#include "views/PadPanel.h"

namespace sumiro {

SearchFocus::SearchFocus(QLineEdit* field, std::function<void()> giveBack)
    : QObject(field), field_(field), giveBack_(std::move(giveBack)) {
    // Only a click starts the editing: the panel must never pull the focus in on its own.
    field->setFocusPolicy(Qt::ClickFocus);
    field->installEventFilter(this);
}

void letPanelTakeKeyboard(PadPanel& panel, bool takes) {
    panel.setAcceptsKeyboard(takes);
    if (QWindow* window = panel.windowHandle()) setTakesKeyboard(window, takes);
}

PadPanel* SearchFocus::panel() const { return dynamic_cast<PadPanel*>(field_->window()); }

void SearchFocus::begin() {
    PadPanel* pad = panel();
    if (!pad) return;
    editing_ = true;
    letPanelTakeKeyboard(*pad, true);
    pad->activateWindow();
    if (QWindow* window = pad->windowHandle()) window->requestActivate();
    field_->setFocus(Qt::MouseFocusReason);
}

void SearchFocus::finish(bool reactivate) {
    if (!editing_) return;
    editing_ = false;
    if (field_->hasFocus()) field_->clearFocus();
    if (PadPanel* pad = panel()) letPanelTakeKeyboard(*pad, false);
    if (reactivate && giveBack_) giveBack_();
}

bool SearchFocus::eventFilter(QObject* watched, QEvent* event) {
    if (watched != field_) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (!editing_) begin();
            break;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
                finish(true);
                return true;
            }
            break;
        }
        case QEvent::FocusOut:
            // The input method's candidate window and the field's own menu take the focus
            // for a moment; the editing goes on.
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::PopupFocusReason) break;
            [[fallthrough]];
        case QEvent::Hide:
            // When the field went away (a pick, or hidden with its mode) while the panel still
            // holds the keyboard, the target gets it back.
            finish(panel() && panel()->isActiveWindow());
            break;
        default:
            break;
    }
    return false;
}

}  // namespace sumiro
