#pragma once

#include <string>
#include <vector>

namespace sumiro {

/// A ranked candidate list with each character kept once, at its best rank: `recognize` lists a
/// character once per matching specimen, a person wants to see it once. Characters are the same
/// when canonically equivalent; the first spelling met is kept.
std::vector<std::string> distinctCandidates(const std::vector<std::string>& ranked);

}  // namespace sumiro
