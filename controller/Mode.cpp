#include "controller/Mode.h"

#include <QCoreApplication>

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

std::optional<Mode> modeAt(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= kModes.size()) return std::nullopt;
    return kModes[static_cast<std::size_t>(index)];
}

}  // namespace sumiro
