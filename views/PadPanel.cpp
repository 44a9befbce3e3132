#include "views/PadPanel.h"

#include <QWindow>

#include "input/Desktop.h"

namespace sumiro {

PadPanel::PadPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
}

// Children learn that they are hidden while the panel is still a panel: event filters that
// look at it when its search field hides must not meet a half-destroyed window.
PadPanel::~PadPanel() { hide(); }

void PadPanel::setAcceptsKeyboard(bool accepts) {
    if (QWindow* window = windowHandle()) {
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !accepts);
        setTakesKeyboard(window, accepts);
    } else {
        setWindowFlag(Qt::WindowDoesNotAcceptFocus, !accepts);  // not yet created: harmless
    }
}

bool PadPanel::acceptsKeyboard() const {
    const Qt::WindowFlags flags = windowHandle() ? windowHandle()->flags() : windowFlags();
    return !(flags & Qt::WindowDoesNotAcceptFocus);
}

void PadPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Window managers drop the all-desktops state when a window is unmapped: apply it anew.
    showOnAllDesktops(winId());
    refuseFocusOffers(winId());
}

}  // namespace sumiro
