#include "views/PadPanel.h"

#include <QWindow>

namespace sumiro {

PadPanel::PadPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Qt shows tooltips only in the active window, which the panel never is.
    setAttribute(Qt::WA_AlwaysShowToolTips);
}

// Children learn that they are hidden while the panel is still a panel: event filters that
// look at it when its search field hides must not meet a half-destroyed window.
PadPanel::~PadPanel() { hide(); }

void PadPanel::setAcceptsKeyboard(bool accepts) {
    if (QWindow* window = windowHandle()) {
        window->setFlag(Qt::WindowDoesNotAcceptFocus, !accepts);
    } else {
        setWindowFlag(Qt::WindowDoesNotAcceptFocus, !accepts);  // not yet created: harmless
    }
}

bool PadPanel::acceptsKeyboard() const {
    const Qt::WindowFlags flags = windowHandle() ? windowHandle()->flags() : windowFlags();
    return !(flags & Qt::WindowDoesNotAcceptFocus);
}

}  // namespace sumiro
