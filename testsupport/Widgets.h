#pragma once

// Finding the pad's controls in tests by their object names and titles.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>

namespace sumiro::testing {

/// The descendant of `root` named `name`; fails the running test when there is none.
template <typename T = QWidget>
T* child(const QObject* root, const QString& name) {
    T* found = root ? root->findChild<T*>(name) : nullptr;
    if (!found) ADD_FAILURE() << "nothing named " << name.toStdString();
    return found;
}

/// The window or menu without a parent named `name`; fails the running test when there is none.
template <typename T = QWidget>
T* topLevel(const QString& name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found && found->objectName() == name) {
            return found;
        }
    }
    ADD_FAILURE() << "no window named " << name.toStdString();
    return nullptr;
}

/// What a button shows of its text: every "&" that marks a mnemonic taken out, "&&" shown as
/// "&".
inline QString shownTitle(const QAbstractButton* button) {
    const QString text = button->text();
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            shown += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == u'&') {
            shown += text[++i];
        }
    }
    return shown;
}

/// The button of `root` that shows `title`; fails the running test when there is none.
template <typename T = QAbstractButton>
T* titled(const QObject* root, const QString& title) {
    for (T* candidate : root->findChildren<T*>()) {
        if (shownTitle(candidate) == title) return candidate;
    }
    ADD_FAILURE() << "no button titled " << title.toStdString();
    return nullptr;
}

}  // namespace sumiro::testing
