#include "controller/PadTexts.h"

#include <QCoreApplication>
#include <cmath>

#include "engine/Candidates.h"
#include "engine/CharacterDatabase.h"

namespace sumiro::texts {

QString loading() { return QCoreApplication::translate("PadTexts", "辞書を読み込んでいます…"); }
QString ready() {
    return QCoreApplication::translate("PadTexts",
                                       "準備完了。入力欄を選び、候補の文字をクリックしてください");
}
QString emptyInk() {
    return QCoreApplication::translate("PadTexts", "手書き欄に1文字書いてください");
}
QString notReady() {
    return QCoreApplication::translate("PadTexts",
                                       "辞書の準備中です。少し待って『認識』を押してください");
}
QString tooManyStrokes() {
    return QCoreApplication::translate("PadTexts",
                                       "64画まで認識できます。『消去』して1文字ずつ書いてください");
}
QString recognizing() { return QCoreApplication::translate("PadTexts", "認識中…"); }
QString noCandidates() {
    return QCoreApplication::translate("PadTexts", "候補がありません。文字を書き直してください");
}
QString detailHint() {
    return QCoreApplication::translate("PadTexts",
                                       "候補にマウスを重ねると、読みと文字コードを表示");
}
QString modeDetail() {
    return QCoreApplication::translate("PadTexts", "文字をクリックすると入力先へ送信します");
}
QString noTarget() { return QCoreApplication::translate("PadTexts", "入力先を選んでください"); }

QString loadFailed(const QString& description) {
    return QCoreApplication::translate("PadTexts", "辞書を読み込めません：%1").arg(description);
}

QString strokeCount(qsizetype strokes) {
    const int n = static_cast<int>(strokes);
    return QCoreApplication::translate("PadTexts", "%n画", nullptr, n);
}

QString targetLabel(const std::optional<QString>& name) {
    return QCoreApplication::translate("PadTexts", "入力先：%1")
        .arg(name ? *name : QCoreApplication::translate("PadTexts", "未選択"));
}

DetailLine detailLine(const QString& character, const CharacterDetails& details, bool meanings) {
    const QString gap = QStringLiteral("   ");
    const QString codes = QString::fromStdString(details.codes);
    QStringList middle;
    if (details.known) {
        middle.append(details.reading.empty()
                          ? QCoreApplication::translate("PadTexts", "読み情報なし")
                          : QString::fromUtf8(details.reading.data(),
                                              static_cast<qsizetype>(details.reading.size())));
    }
    if (meanings && !details.meanings.empty()) {
        QStringList list;
        for (const std::string_view meaning : details.meanings) {
            list.append(QString::fromUtf8(meaning.data(), static_cast<qsizetype>(meaning.size())));
        }
        // A meaning may hold a comma: semicolons part them.
        middle.append(list.join(QStringLiteral("; ")));
    }
    if (middle.isEmpty()) return {character + gap, {}, codes};
    const QString tail = details.known ? strokeCount(static_cast<qsizetype>(details.count)) + gap + codes : codes;
    return {character + gap, middle.join(gap), gap + tail};
}

}  // namespace sumiro::texts

namespace sumiro {

CandidateDisplay showCandidates(const std::vector<std::string>& result,
                                std::chrono::duration<double> elapsed) {
    CandidateDisplay display;
    // The recognizer lists a character once per matching template and number of joined strokes;
    // the grid shows it once, at its best rank, and the count counts characters.
    const std::vector<std::string> distinct = distinctCandidates(result);
    display.characters.reserve(static_cast<qsizetype>(distinct.size()));
    for (const std::string& candidate : distinct) {
        display.characters.push_back(QString::fromStdString(candidate));
    }
    if (display.characters.isEmpty()) {
        display.status = texts::noCandidates();
        return display;
    }
    const auto milliseconds = static_cast<long long>(std::trunc(elapsed.count() * 1000.0));
    const int count = static_cast<int>(display.characters.size());
    // The gap before the request is an ideographic space (U+3000).
    display.status = QCoreApplication::translate("PadTexts", "%n候補・%1ms　候補をクリックして入力",
                                                 nullptr, count)
                         .arg(milliseconds);
    return display;
}

SetupStep setupStep(bool waitingForPermission, bool permitted, bool panelVisible) {
    if (waitingForPermission) return permitted ? SetupStep::ShowPanel : SetupStep::None;
    if (!permitted && panelVisible) return SetupStep::ShowSetup;
    return SetupStep::None;
}

}  // namespace sumiro
