// The soft keyboard mode: kana, Latin and full-width keys in four layouts.

#include "controller/KeyboardMode.h"

#include <QComboBox>
#include <QLayout>
#include <QSettings>

#include "controller/KeyboardLayout.h"
#include "controller/PopupChoice.h"
#include "views/ActionButton.h"
#include "views/ViewHelpers.h"

namespace sumiro {

KeyboardMode::KeyboardMode() : layoutPopup_(new QComboBox), keys_(new QWidget) {
    setObjectName(QStringLiteral("keyboard"));
    layoutPopup_->setObjectName(QStringLiteral("keyboardMode"));
    layoutPopup_->setFocusPolicy(Qt::NoFocus);
    layoutPopup_->addItems(keyboardLayoutTitles());
    chooseOnSelection(layoutPopup_);
    layoutPopup_->setCurrentIndex(0);
    connect(layoutPopup_, &QComboBox::currentIndexChanged, this, &KeyboardMode::rebuildKeyboard);
    connect(layoutPopup_, &QComboBox::currentIndexChanged, this, &PadMode::choiceChanged);
    QWidget* header = stack({label(tr("キーをクリックして入力"), 13, QFont::Bold), layoutPopup_},
                            Qt::Horizontal, 8);
    keys_->setObjectName(QStringLiteral("keyboardBody"));
    QWidget* column = stack({header, keys_}, Qt::Vertical, 8, StackAlignment::Leading);
    fillAcross(column, keys_);
    pin(column, this);
    openWithoutFocus(layoutPopup_);  // once in place, as for the browse mode's pop-ups
    rebuildKeyboard();
}

void KeyboardMode::saveChoices(QSettings& settings) const {
    settings.setValue(QStringLiteral("keyboard/layout"), layoutPopup_->currentIndex());
}

void KeyboardMode::restoreChoices(const QSettings& settings) {
    bool ok = false;
    const int layout = settings.value(QStringLiteral("keyboard/layout")).toInt(&ok);
    if (ok && layout >= 0 && layout < layoutPopup_->count()) layoutPopup_->setCurrentIndex(layout);
}

void KeyboardMode::rebuildKeyboard() {
    // The previous layout's keys go with their lines.
    for (QWidget* child : keys_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        delete child;
    }
    delete keys_->layout();

    // The keys are this mode's children: their actions never outlive it.
    QList<QWidget*> lines;
    for (const QStringList& row : keyboardLines(layoutPopup_->currentIndex())) {
        QList<QWidget*> buttons;
        for (const QString& character : row) {
            auto* button =
                new ActionButton(character, [this, character] { emit picked(character); });
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
        editing.push_back(
            new ActionButton(key.title, [this, code = key.key] { emit keyPressed(code); }));
    }
    lines.push_back(stack(editing, Qt::Horizontal, 8));
    // The room a layout of fewer lines leaves goes below the keys, not between their lines.
    lines.push_back(new QWidget);
    pin(stack(lines, Qt::Vertical, 4, StackAlignment::Leading), keys_, 0);
}

}  // namespace sumiro
