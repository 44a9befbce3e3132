#pragma once

// Connected writing: a hand that keeps the pen down from the end of one stroke to the start of
// the next draws the two as one stroke. The recognizer pairs drawn strokes with template strokes
// one to one, so such an ink only finds its character if the template's strokes may be joined
// the same way. Every template of a common character may: for each run of consecutive strokes
// that a hand may join, the database keeps the run joined into one stroke, a piece, and the
// recognizer picks for each drawing the pieces that fit it (see chooseJoins), so every set of
// joins is matched without a template for each.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "engine/Ink.h"

namespace sumiro {

/// The model of connected writing that the evaluation draws joined inks from: a writer joins
/// one pair of strokes in 60% of joined characters, two in 25%, three in 15%, and picks the
/// pairs one after another, each with a weight exp(-gap / 0.35) where the gap is the pen's way
/// from the end of a stroke to the start of the next, as a fraction of the character's size.
inline constexpr double kJoinGapScale = 0.35;
inline constexpr double kJoinShares[] = {0.60, 0.25, 0.15};

/// Which strokes of a template may be written joined, and at what price.
struct JoinPolicy {
    /// Largest pen travel from the end of a stroke to the start of the next for the two to be
    /// joined, as a fraction of the template's larger extent.
    double maxGap = 0.0;
    /// Most joins in one drawing (consecutive joins chain three strokes or more into one).
    std::size_t maxJoins = 0;
    /// Fewest strokes a joined drawing may keep.
    std::size_t minStrokes = 1;
    /// Most strokes a template may have for a drawing to join all of them into one. Templates
    /// of one stroke are few, so every character written in a single stroke is a close rival
    /// of each of them.
    std::size_t maxStrokesIntoOne = std::numeric_limits<std::size_t>::max();
    /// Strokes shorter than this, as a fraction of the template's larger extent, are marks:
    /// dots and ticks such as the two of a voicing mark. Two marks in a row are never joined:
    /// joined, they make a small zigzag close to the dots and ticks of many other characters.
    double maxMarkLength = 0.0;
    /// What each join adds to the coarse and the final score of a template matched with joined
    /// strokes, and what joining at all adds once (joinCost). Not negative: the recognizer
    /// skips templates whose stroke-count penalty alone is too high, which a negative cost
    /// would undo.
    double costPerJoin = 0.0;
    double costOfJoining = 0.0;
};

/// The policy the application loads its data with: any pair of strokes (the gap rule keeps pen
/// travel within the character's size) but two marks in a row (strokes under a fifth of the
/// character's size), up to three joins, down to one stroke for a character of two strokes and
/// to two for the rest, in the templates of the 2,300 common characters; a drawing with joins
/// costs 0.01 for joining and 0.01 a join on both scores, 0.02 for one join and 0.04 for three
/// (a stroke left out costs 0.045 on the final one).
///
/// The two rules are for ordinary writing of few strokes: without them a drawn "1" fell out of
/// the first ten behind the joined strokes of 寸 and other characters, and 氵 behind kana whose
/// voicing marks were joined. A gap rule of 0.6 instead of the character's size lost a tenth of
/// the joined drawings for nothing.
///
/// The costs were chosen with sumiro-evaluate on the writer model's tuning half (strokes from
/// another source than the templates', with the faults of real writers; first place for
/// ordinary writing, then first and among the first ten distinct for connected writing, and
/// first for three joins). Without joins 97.36%. A flat cost a join cannot serve both:
/// 0.015 a join 97.07%, 83.9% / 96.5%, 64.0%; 0.0175 97.15%, 80.8% / 95.6%, 56.9%; 0.02
/// 97.21%, 77.5% / 94.5%, 47.5%. A price for joining at all does (joining, a join): 0.0075,
/// 0.0075 97.01%, 86.4% / 97.1%, 75.8%; 0.01, 0.0075 97.12%, 85.1% / 96.9%, 75.1%; 0.015,
/// 0.005 97.18%, 84.6% / 96.8%, 77.3%; 0.01, 0.01 97.21%, 83.2% / 96.5%, 70.5%; 0.025, 0.0025
/// 97.24%, 80.4% / 96.0%, 77.0%; 0.025, 0.005 97.33%, 77.8% / 95.6%, 72.4%. A cost that grows
/// with the pen's travel across each join (the writer model's weight exp(-gap / 0.35)), alone
/// or with these, did no better at the same share of ordinary writing (0.01 + 0.02 x gap a join
/// 97.12%, 81.5% / 95.6%; 0.015 for joining, 0.0025 + 0.01 x gap a join 97.18%, 84.0% / 96.5%),
/// nor did costs that grow with the character's stroke count.
inline constexpr JoinPolicy kJoinPolicy{1.0, 3, 1, 2, 0.2, 0.01, 0.01};

/// No joined writing at all: every template only as the file has it.
inline constexpr JoinPolicy kNoJoins{};

/// What a drawing with `joins` joins of a template adds to its scores under `policy`: nothing
/// without joins, else costOfJoining + joins * costPerJoin. An ordinary drawing of another
/// character often comes close to some set of joins of a template of more strokes: a join is
/// evidence that the drawing must show, so a template matched with joins starts behind its
/// ordinary rivals by their cost; a drawing that really looks joined makes it up, one that
/// merely resembles it does not. The cost follows how unlikely the joins are: most drawings
/// have none, so writing joined at all is the least likely step and costs the most, and a hand
/// that joins once often joins again (of the joined drawings the writer model makes, 60% have
/// one join, 25% two, 15% three), so each further join costs less than the first. Ordinary
/// drawings that a joined template takes are nearly all taken with one join, whose cost this
/// keeps high; connected drawings of two and three joins pay less than a flat cost a join.
double joinCost(std::size_t joins, const JoinPolicy& policy);

/// `ink` with stroke i and stroke i + 1 made one for every i in `joins` (ascending, distinct,
/// each below ink.size() - 1): the second stroke's points follow the first's, so the pen's path
/// between them is the straight segment from one to the other. Joins i and i + 1 together make
/// three strokes one.
Ink joinStrokes(const Ink& ink, const std::vector<std::size_t>& joins);

/// Pen travel from the end of stroke i to the start of stroke i + 1 of a raw ink, as a fraction
/// of the ink's larger extent; one entry per consecutive pair, infinite where either stroke is
/// empty or the ink has no extent.
std::vector<double> strokeGaps(const Ink& ink);

/// Templates of more strokes than this are never joined (a set of joinable pairs fits in one
/// 64-bit word); no character has that many.
inline constexpr std::size_t kMostJoinableStrokes = 64;

/// How a template may be written joined under a policy.
struct Joinability {
    /// Bit i set: strokes i and i + 1 may be joined.
    std::uint64_t pairs = 0;
    /// Most joins in one drawing of it; 0 when it is never joined.
    std::size_t maxJoins = 0;
};

/// How the raw ink of a template may be joined under `policy`: the pairs that the gap and mark
/// rules allow, and as many joins as the policy and the strokes to keep allow (none beyond the
/// pairs there are). `policy.maxJoins` 0 joins nothing.
Joinability joinability(const Ink& ink, const JoinPolicy& policy);

/// The most joins a drawing of a template of `strokes` strokes may have under `policy`, before
/// counting its joinable pairs.
std::size_t joinsForStrokes(std::size_t strokes, const JoinPolicy& policy);

/// Where piece (first, length) of a template of `strokes` strokes lies among its strokes and
/// pieces (the piece slots): the template's own strokes first (length 1, slot `first`), then the
/// runs of two strokes by first stroke, then those of three, and so on; every run has a slot,
/// joinable or not. Runs of l strokes take strokes - l + 1 slots.
constexpr std::size_t pieceSlot(std::size_t strokes, std::size_t first, std::size_t length) {
    return first + (length - 1) * (strokes + 1) - (length - 1) * length / 2;
}

/// Number of piece slots of a template of `strokes` strokes whose drawings have at most `joins`
/// joins: its strokes and every run of up to joins + 1 of them.
constexpr std::size_t pieceSlots(std::size_t strokes, std::size_t joins) {
    return strokes == 0 ? 0 : pieceSlot(strokes, 0, std::min(joins, strokes - 1) + 2);
}

/// The set of exactly `joins` joins, of the pairs in `pairs` (bit i: strokes i and i + 1), of a
/// template of `strokes` strokes whose pieces (the runs of joined strokes and the strokes left
/// as they are) cost least together, a piece costing slotCosts[pieceSlot(...)], which must hold
/// pieceSlots(strokes, joins) entries. Found stroke by stroke from the first: of two ways to
/// cover the first strokes with as many joins, the one of smaller total stays, and of equal
/// totals the one whose joins come first in lexicographic order. The joins go to `chosen`
/// (ascending); returns their total. A piece whose cost is not a number, or infinite, is never
/// used; when every set uses one, returns +infinity and the first `joins` pairs. `pairs` must
/// hold at least `joins` pairs, fewer than `strokes`.
double chooseJoins(std::size_t strokes, std::uint64_t pairs, std::size_t joins,
                   std::span<const double> slotCosts, std::vector<std::size_t>& chosen);

}  // namespace sumiro
