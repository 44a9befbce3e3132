#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "engine/Ink.h"

namespace sumiro {

/// Added once to the reversed pairing's summed distances: a backwards stroke costs a little.
inline constexpr double kReversalPenalty = 0.3;

/// Mean point distance from stroke `a` to stroke `b`, allowing `b` reversed at a small price;
/// divides by the point count of `a`. Zero when either stroke is empty.
double strokeDistance(std::span<const InkPoint> a, std::span<const InkPoint> b);

/// A square cost matrix in row-major order: entry (i, j) is at `cells[i * side + j]`.
struct CostMatrix {
    std::size_t side = 0;
    std::vector<double> cells;
};

/// Reusable working storage of `assignmentCost`, so repeated calls allocate nothing.
struct AssignmentWorkspace {
    std::vector<double> u, v, minv;
    std::vector<std::size_t> p, way;
    std::vector<char> used;
};

/// Cost of the best one-to-one pairing of rows with columns divided by the side (Hungarian
/// method). A matrix holding a non-finite entry has no meaningful pairing and costs +infinity.
double assignmentCost(const CostMatrix& matrix, AssignmentWorkspace& workspace);

/// The same on a list of rows; every row must hold at least as many entries as there are rows.
double assignmentCost(const std::vector<std::vector<double>>& rows);

}  // namespace sumiro
