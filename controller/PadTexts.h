#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace sumiro {
struct CharacterDetails;
}

namespace sumiro::texts {

// The pad's own messages, word for word, in the language of the installed catalogue: each call
// translates anew, so none is fixed before the catalogue is installed.
/// "辞書を読み込んでいます…"
QString loading();
/// "準備完了。入力欄を選び、候補の文字をクリックしてください"
QString ready();
/// "手書き欄に1文字書いてください"
QString emptyInk();
/// "辞書の準備中です。少し待って『認識』を押してください"
QString notReady();
/// "64画まで認識できます。『消去』して1文字ずつ書いてください"
QString tooManyStrokes();
/// "認識中…"
QString recognizing();
/// "候補がありません。文字を書き直してください"
QString noCandidates();
/// "候補にマウスを重ねると、読みと文字コードを表示"
QString detailHint();
/// "文字をクリックすると入力先へ送信します"
QString modeDetail();
/// "入力先を選んでください"
QString noTarget();

/// "辞書を読み込めません：" directly followed by the error's description.
QString loadFailed(const QString& description);
/// The stroke count followed by "画".
QString strokeCount(qsizetype strokes);
/// "入力先：" followed by the target's name, or by "未選択" when there is none.
QString targetLabel(const std::optional<QString>& name);

/// The detail line of a character in three parts, three spaces apart: the character, then its
/// readings (and its English meanings when asked for), then its stroke count and code points:
/// "十   ジュウ   2画   U+5341". Short of room the line cuts the middle part, so the meanings go
/// first, then the readings.
struct DetailLine {
    QString head;
    QString middle;
    QString tail;
};
/// The detail line of `character`, whose record (if any) `details` describes, with the English
/// meanings when `meanings` is on.
DetailLine detailLine(const QString& character, const CharacterDetails& details, bool meanings);

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
