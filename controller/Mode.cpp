#include "controller/Mode.h"

#include <QCoreApplication>
#include <algorithm>

namespace sumiro {

QString modeTitle(Mode mode) {
    switch (mode) {
        case Mode::Handwriting:
            return QCoreApplication::translate("Mode", "手書き");
        case Mode::Ranges:
            return QCoreApplication::translate("Mode", "文字一覧");
        case Mode::StrokeCounts:
            return QCoreApplication::translate("Mode", "総画数");
        case Mode::Radicals:
            return QCoreApplication::translate("Mode", "部首");
        case Mode::Keyboard:
            return QCoreApplication::translate("Mode", "ソフトキーボード");
    }
    return {};
}

int segmentOf(Mode mode) {
    return static_cast<int>(std::find(kModes.begin(), kModes.end(), mode) - kModes.begin());
}

QString modeWord(Mode mode) {
    switch (mode) {
        case Mode::Handwriting:
            return QStringLiteral("handwriting");
        case Mode::Ranges:
            return QStringLiteral("ranges");
        case Mode::StrokeCounts:
            return QStringLiteral("strokeCounts");
        case Mode::Radicals:
            return QStringLiteral("radicals");
        case Mode::Keyboard:
            return QStringLiteral("keyboard");
    }
    return {};
}

std::optional<Mode> modeOfWord(const QString& word) {
    for (const Mode mode : kModes) {
        if (modeWord(mode) == word) return mode;
    }
    return std::nullopt;
}

std::optional<Mode> modeAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= kModes.size()) return std::nullopt;
    return kModes[static_cast<std::size_t>(index)];
}

}  // namespace sumiro
