// The soft keyboard mode: kana, Latin and full-width keys in four layouts.

#include <QLayout>
#include <QPointer>

#include "controller/AppDelegate.h"
#include "controller/KeyboardLayout.h"
#include "controller/PopupChoice.h"

namespace sumiro {

QWidget* AppDelegate::makeKeyboard() {
    QPointer<AppDelegate> self(this);
    keyboardMode->setObjectName(QStringLiteral("keyboardMode"));
    keyboardMode->setFocusPolicy(Qt::NoFocus);
    keyboardMode->addItems(keyboardLayoutTitles());
    chooseOnSelection(keyboardMode);
    openWithoutFocus(keyboardMode);
    keyboardMode->setCurrentIndex(0);
    connect(keyboardMode, &QComboBox::currentIndexChanged, this, [self] {
        if (self) self->rebuildKeyboard();
    });
    QWidget* header =
        stack({label(QStringLiteral("キーをクリックして入力"), 13, QFont::Bold), keyboardMode},
              Qt::Horizontal, 8);
    keyboardBody->setObjectName(QStringLiteral("keyboardBody"));
    QWidget* column = stack({header, keyboardBody}, Qt::Vertical, 8, StackAlignment::Leading);
    fillAcross(column, keyboardBody);
    rebuildKeyboard();
    column->setObjectName(QStringLiteral("keyboard"));
    return column;
}

void AppDelegate::rebuildKeyboard() {
    // The previous layout's keys go with their lines; never called from a key's own click.
    for (QWidget* child : keyboardBody->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        delete child;
    }
    delete keyboardBody->layout();

    QPointer<AppDelegate> self(this);
    QList<QWidget*> lines;
    for (const QStringList& keys : keyboardLines(keyboardMode->currentIndex())) {
        QList<QWidget*> buttons;
        for (const QString& character : keys) {
            auto* button = new ActionButton(character, [self, character] {
                if (self) self->choose(character);
            });
            QFont font = button->font();
            font.setPixelSize(17);
            button->setFont(font);
            button->setFixedWidth(44);
            buttons.push_back(button);
        }
        lines.push_back(stack(buttons, Qt::Horizontal, 3));
    }
    QList<QWidget*> editing;
    for (const EditingKey& key : editingKeys()) {
        editing.push_back(new ActionButton(key.title, [self, code = key.key] {
            if (self) self->input.key(code);
        }));
    }
    lines.push_back(stack(editing, Qt::Horizontal, 8));
    pin(stack(lines, Qt::Vertical, 4, StackAlignment::Leading), keyboardBody, 0);
}

}  // namespace sumiro
