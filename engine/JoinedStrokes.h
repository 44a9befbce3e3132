#pragma once

// Connected writing: a hand that keeps the pen down from the end of one stroke to the start of
// the next draws the two as one stroke. The recognizer pairs drawn strokes with template strokes
// one to one, so such an ink only finds its character through a specimen in which those strokes
// are joined too. The database derives these specimens from each template when it loads.

#include <cstddef>
#include <limits>
#include <vector>

#include "engine/Ink.h"

namespace sumiro {

/// The model of connected writing that specimens are chosen for: a writer joins one pair of
/// strokes in 60% of joined characters, two in 25%, three in 15%, and picks the pairs one after
/// another, each with a weight exp(-gap / 0.35) where the gap is the pen's way from the end of
/// a stroke to the start of the next, as a fraction of the character's size.
inline constexpr double kJoinGapScale = 0.35;
inline constexpr double kJoinShares[] = {0.60, 0.25, 0.15};

/// Which joined specimens a template gets.
struct JoinPolicy {
    /// Largest pen travel from the end of a stroke to the start of the next for the two to be
    /// joined, as a fraction of the template's larger extent.
    double maxGap = 0.0;
    /// Most joins in one specimen (consecutive joins chain three strokes or more into one).
    std::size_t maxJoins = 0;
    /// Most specimens per template, the likeliest joins under the model above first.
    std::size_t maxSpecimens = 0;
    /// Fewest strokes a specimen may keep.
    std::size_t minStrokes = 1;
    /// Least likelihood under the model above for a set of joins to get a specimen: the budget
    /// goes where joins are likeliest, so a character of few strokes gets all of its few
    /// likely sets and one of many strokes only the likeliest of its many unlikely ones.
    double minLikelihood = 0.0;
    /// Most strokes a template may have for a specimen to join all of them into one. Templates
    /// of one stroke are few, so every character written in a single stroke is a close rival
    /// of each of them.
    std::size_t maxStrokesIntoOne = std::numeric_limits<std::size_t>::max();
    /// Strokes shorter than this, as a fraction of the template's larger extent, are marks:
    /// dots and ticks such as the two of a voicing mark. Two marks in a row are never joined:
    /// joined, they make a small zigzag close to the dots and ticks of many other characters.
    double maxMarkLength = 0.0;
    /// Most strokes that the specimens of one template may have together, the likeliest sets
    /// of joins first: a specimen costs memory and matching time by its strokes, and a
    /// character of many strokes has many likely single joins of many strokes each.
    std::size_t maxSpecimenStrokes = std::numeric_limits<std::size_t>::max();
    /// What a specimen adds to its scores, the coarse and the final one, for each of its joins
    /// and for each unit of the negative natural logarithm of its set's likelihood under the
    /// model above (see specimenCost). Neither may be negative: the recognizer skips templates
    /// whose stroke-count penalty alone is too high, which a negative cost would undo.
    double costPerJoin = 0.0;
    double costPerUnlikeliness = 0.0;
};

/// The policy the application loads its data with: any pair of strokes (the gap rule keeps pen
/// travel within the character's size) but two marks in a row (strokes under a fifth of the
/// character's size), up to three joins, down to one stroke for a character of two strokes and
/// to two for the rest, every set of joins at least 0.8% likely, at most 40 per template; about
/// 37,000 specimens for the 2,300 common characters; each join costs 0.02 on both scores (a
/// stroke left out costs 0.045 on the final one).
///
/// The two rules are for ordinary writing of few strokes: without them a drawn "1" fell out of
/// the first ten behind the one-stroke specimens of 寸 and other characters, and 氵 behind
/// kana whose voicing marks were joined. Fewer specimens lose connected writing fast, and more
/// cost recognition time and memory.
///
/// The cost was chosen with sumiro-evaluate on the writer model's tuning half (strokes from
/// another source than the templates', with the faults of real writers; first place for
/// ordinary writing, then first and among the first ten distinct for connected writing):
/// without specimens 97.36%; specimens without cost 94.72%, 75.1% / 82.6%; 0.015 a join
/// 97.04%, 69.5% / 80.4%; 0.02 a join 97.21%, 66.2% / 79.0%. A cost from the likelihood of the
/// set of joins did no better than one per join (0.005 per unit of its negative logarithm:
/// 96.89%, 71.0% / 81.4%; mixed with 0.01 a join: 97.07%, 69.4% / 80.7%). More specimens win
/// connected writing back at the same cost (80 per template at least 0.4% likely, 73,000
/// templates: 97.21%, 72.1% / 86.4%), but take half as much recognition work again.
inline constexpr JoinPolicy kJoinPolicy{
    1.0, 3, 40, 1, 0.008, 2, 0.2, std::numeric_limits<std::size_t>::max(), 0.02, 0.0};

/// No joined specimens at all: every template as the file has it.
inline constexpr JoinPolicy kNoJoins{};

/// What a specimen of `joins` joins, whose set is `likelihood` likely under the model of
/// connected writing, adds to its scores under `policy`. An ordinary drawing of another
/// character often comes close to some specimen: among the tens of specimens of a template of
/// many strokes, one has its joined strokes where the drawing has strokes of its own. A join is
/// evidence that the drawing must show, so a specimen starts behind its template's ordinary
/// rivals by the cost of its joins, the more the less likely they are: a drawing that really
/// looks joined makes it up, one that merely resembles it does not.
double specimenCost(std::size_t joins, double likelihood, const JoinPolicy& policy);

/// `ink` with stroke i and stroke i + 1 made one for every i in `joins` (ascending, distinct,
/// each below ink.size() - 1): the second stroke's points follow the first's, so the pen's path
/// between them is the straight segment from one to the other. Joins i and i + 1 together make
/// three strokes one.
Ink joinStrokes(const Ink& ink, const std::vector<std::size_t>& joins);

/// Pen travel from the end of stroke i to the start of stroke i + 1 of a raw ink, as a fraction
/// of the ink's larger extent; one entry per consecutive pair, infinite where either stroke is
/// empty or the ink has no extent.
std::vector<double> strokeGaps(const Ink& ink);

/// The joins of each specimen that `policy` derives from the raw ink of a template, in the
/// order the specimens follow the template: likeliest first under the model above (its share of
/// joined characters with as many joins, times its pairs' weights over the sum of such products
/// over every set of as many pairs), then fewer joins, then the joins themselves. With
/// `likelihoods`, also the likelihood of each set.
std::vector<std::vector<std::size_t>> joinSets(const Ink& ink, const JoinPolicy& policy,
                                               std::vector<double>* likelihoods = nullptr);

}  // namespace sumiro
