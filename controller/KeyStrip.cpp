#include "controller/KeyStrip.h"

#include <QCoreApplication>

#include "views/ActionButton.h"
#include "views/ViewHelpers.h"

namespace sumiro {

std::array<StripKey, 9> stripKeys() {
    return {{
        {QStringLiteral("⌫"), Key::BackSpace,
         QCoreApplication::translate("KeyStrip", "前の文字を削除")},
        {QStringLiteral("Delete"), Key::Delete, QStringLiteral("Delete")},
        {QStringLiteral("Enter"), Key::Return, QStringLiteral("Enter")},
        {QStringLiteral("Space"), Key::Space, QStringLiteral("Space")},
        {QStringLiteral("Esc"), Key::Escape, QStringLiteral("Esc")},
        {QStringLiteral("←"), Key::Left, QStringLiteral("←")},
        {QStringLiteral("→"), Key::Right, QStringLiteral("→")},
        {QStringLiteral("↑"), Key::Up, QStringLiteral("↑")},
        {QStringLiteral("↓"), Key::Down, QStringLiteral("↓")},
    }};
}

QWidget* makeKeyStrip(std::function<void(Key)> press) {
    QList<QWidget*> buttons;
    for (const StripKey& strip : stripKeys()) {
        auto* button = new ActionButton(strip.title, [press, key = strip.key] { press(key); });
        button->setToolTip(strip.toolTip);
        button->setFixedWidth(65);
        buttons.push_back(button);
    }
    QWidget* strip = stack(buttons, Qt::Vertical, 4, StackAlignment::Leading);
    strip->setObjectName(QStringLiteral("keyStrip"));
    return strip;
}

}  // namespace sumiro
