#include "controller/Mode.h"

namespace sumiro {

QString modeTitle(Mode mode) {
    switch (mode) {
        case Mode::Handwriting:
            return QStringLiteral("手書き");
        case Mode::Ranges:
            return QStringLiteral("文字一覧");
        case Mode::StrokeCounts:
            return QStringLiteral("総画数");
        case Mode::Radicals:
            return QStringLiteral("部首");
        case Mode::Keyboard:
            return QStringLiteral("ソフトキーボード");
    }
    return {};
}

std::optional<Mode> modeAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= kModes.size()) return std::nullopt;
    return kModes[static_cast<std::size_t>(index)];
}

}  // namespace sumiro
