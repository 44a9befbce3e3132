#pragma once

#include <QString>
#include <array>
#include <optional>

namespace sumiro {

/// The segments of the mode switch, left to right.
enum class Mode { Handwriting, Ranges, StrokeCounts, Radicals, Keyboard };

/// Every mode, in the order of the switch.
inline constexpr std::array kModes = {Mode::Handwriting, Mode::Ranges, Mode::StrokeCounts,
                                      Mode::Radicals, Mode::Keyboard};

/// The segment's title: "手書き", "文字一覧", "総画数", "部首" or "ソフトキーボード".
QString modeTitle(Mode mode);
/// The mode of segment `index` of the switch; nothing for no segment (−1) or one out of range.
std::optional<Mode> modeAt(int index);
/// The segment of `mode` on the switch.
int segmentOf(Mode mode);
/// The word a mode is saved as: "handwriting", "ranges", "strokeCounts", "radicals",
/// "keyboard"; and back, nothing for any other word.
QString modeWord(Mode mode);
std::optional<Mode> modeOfWord(const QString& word);

}  // namespace sumiro
