#include "controller/PadTexts.h"

#include <cmath>

#include "engine/Candidates.h"

namespace sumiro::texts {

QString loadFailed(const QString& description) {
    return QStringLiteral("辞書を読み込めません：") + description;
}

QString strokeCount(qsizetype strokes) { return QString::number(strokes) + QStringLiteral("画"); }

QString targetLabel(const std::optional<QString>& name) {
    return QStringLiteral("入力先：") + (name ? *name : QStringLiteral("未選択"));
}

DetailLine detailLine(const QString& character, const CharacterDetails& details) {
    const QString gap = QStringLiteral("   ");
    const QString codes = QString::fromStdString(details.codes);
    if (!details.known) return {character + gap, {}, codes};
    const QString middle = details.reading.empty()
                               ? kNoReading
                               : QString::fromUtf8(details.reading.data(),
                                                   static_cast<qsizetype>(details.reading.size()));
    return {character + gap, middle, gap + strokeCount(details.count) + gap + codes};
}

}  // namespace sumiro::texts

namespace sumiro {

CandidateDisplay showCandidates(const std::vector<std::string>& result,
                                std::chrono::duration<double> elapsed) {
    CandidateDisplay display;
    // The recognizer lists a character once per matching specimen (a template and its joined-
    // stroke variants); the grid shows it once, at its best rank, and the count counts
    // characters.
    const std::vector<std::string> distinct = distinctCandidates(result);
    display.characters.reserve(static_cast<qsizetype>(distinct.size()));
    for (const std::string& candidate : distinct) {
        display.characters.push_back(QString::fromStdString(candidate));
    }
    if (display.characters.isEmpty()) {
        display.status = texts::kNoCandidates;
        return display;
    }
    const auto milliseconds = static_cast<long long>(std::trunc(elapsed.count() * 1000.0));
    display.status = QString::number(display.characters.size()) + QStringLiteral("候補・") +
                     QString::number(milliseconds) +
                     QStringLiteral("ms\u3000候補をクリックして入力");
    return display;
}

SetupStep setupStep(bool waitingForPermission, bool permitted, bool panelVisible) {
    if (waitingForPermission) return permitted ? SetupStep::ShowPanel : SetupStep::None;
    if (!permitted && panelVisible) return SetupStep::ShowSetup;
    return SetupStep::None;
}

}  // namespace sumiro
