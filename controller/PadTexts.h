#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "engine/CharacterDatabase.h"

namespace sumiro::texts {

// The pad's own messages, word for word.
inline const QString kLoading = QStringLiteral("辞書を読み込んでいます…");
inline const QString kReady =
    QStringLiteral("準備完了。入力欄を選び、候補の文字をクリックしてください");
inline const QString kEmptyInk = QStringLiteral("手書き欄に1文字書いてください");
inline const QString kNotReady =
    QStringLiteral("辞書の準備中です。少し待って『認識』を押してください");
inline const QString kTooManyStrokes =
    QStringLiteral("64画まで認識できます。『消去』して1文字ずつ書いてください");
inline const QString kRecognizing = QStringLiteral("認識中…");
inline const QString kNoCandidates = QStringLiteral("候補がありません。文字を書き直してください");
inline const QString kDetailHint = QStringLiteral("候補にマウスを重ねると、読みと文字コードを表示");
inline const QString kModeDetail = QStringLiteral("文字をクリックすると入力先へ送信します");
inline const QString kNoTarget = QStringLiteral("入力先を選んでください");
inline const QString kNoReading = QStringLiteral("読み情報なし");

/// "辞書を読み込めません：" directly followed by the error's description.
QString loadFailed(const QString& description);
/// The stroke count followed by "画".
QString strokeCount(qsizetype strokes);
/// "入力先：" followed by the target's name, or by "未選択" when there is none.
QString targetLabel(const std::optional<QString>& name);

/// The detail line of a character in three parts: the character, then its readings, then its
/// stroke count and code points, three spaces apart: "十   ジュウ   2画   U+5341". The line cuts
/// the readings when short of room.
struct DetailLine {
    QString head;
    QString middle;
    QString tail;
};
DetailLine detailLine(const QString& character, const CharacterDetails& details);

}  // namespace sumiro::texts

namespace sumiro {

/// What the candidate grid and the status line show for a recognition result.
struct CandidateDisplay {
    QStringList characters;
    QString status;
};

/// The grid's characters and the status line for `result`, found `elapsed` after the
/// recognition started: each character once, at its best rank, and "N候補・Mms　候補を
/// クリックして入力" with N the number of characters, or the no-candidate message.
CandidateDisplay showCandidates(const std::vector<std::string>& result,
                                std::chrono::duration<double> elapsed);

/// What a tick of the permission check does.
enum class SetupStep { None, ShowPanel, ShowSetup };
/// While waiting, a granted permission opens the panel; otherwise a lost permission replaces a
/// visible panel with the setup window.
SetupStep setupStep(bool waitingForPermission, bool permitted, bool panelVisible);

}  // namespace sumiro
