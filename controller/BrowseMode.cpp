// The browse mode: characters by Unicode range, stroke count or radical, with search.

#include "controller/AppDelegate.h"

namespace sumiro {

QWidget* AppDelegate::makeBrowsing() {
    auto* view = new QWidget;
    view->setObjectName(QStringLiteral("browsing"));
    return view;
}

void AppDelegate::refreshBrowse() {}

void AppDelegate::filterRadicals() {}

void AppDelegate::changeFont() {}

}  // namespace sumiro
