#pragma once

#include <string>
#include <vector>

namespace sumiro {

/// A ranked candidate list with each character kept once, at its best rank: `recognize` lists a
/// character once per template and number of joins that match, a person wants to see it once.
/// Characters are the same when canonically equivalent; the first spelling met is kept.
std::vector<std::string> distinctCandidates(const std::vector<std::string>& ranked);

/// Puts the small kana (ぁぃぅぇぉっゃゅょゎゕゖ and ァィゥェォッャュョヮヵヶ) of a ranked list
/// before their full-size twins, and before the kanji of the same shape (工 for ェ, 力 for ヵ,
/// 才 for ォ, 亻 for ィ), when `small`; the full-size kana before the small ones otherwise. A
/// twin that ranks behind the other moves up to the other's place. Normalization makes the
/// twins one shape, so only the size of the drawing tells them apart.
void orderKanaBySize(std::vector<std::string>& ranked, bool small);

}  // namespace sumiro
