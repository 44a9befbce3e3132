#pragma once

// The soft keyboard's keys, decided without any widget: the layouts, their transformations,
// the wrapping into lines and the editing row.

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

#include "input/Keys.h"

namespace sumiro {

/// Longest line of character keys; longer rows wrap.
inline constexpr qsizetype kKeysPerLine = 13;

/// The titles of the layout pop-up, in order: "ひらがな", "カタカナ", "英数字", "全角英数字".
QStringList keyboardLayoutTitles();

/// The lines of character keys of layout `index` of the pop-up (no selection or an unknown
/// index gives "ひらがな"), top to bottom; each key is one user-perceived character.
std::vector<QStringList> keyboardLines(int index);

/// Splits a row into its user-perceived characters, in lines of at most kKeysPerLine.
std::vector<QStringList> wrapRow(const QString& row);

/// Hiragana written as katakana; the row unchanged when the transform is unavailable.
QString toKatakana(const QString& row);
/// Printable ASCII (U+0021–U+007E) written as its full-width forms; other characters unchanged.
QString toFullWidth(const QString& row);

/// A key of the editing row: its title and the bare key it presses.
struct EditingKey {
    QString title;
    Key key;
};
/// The editing row, left to right: space, delete backward, return, left, right.
std::array<EditingKey, 5> editingKeys();

}  // namespace sumiro
