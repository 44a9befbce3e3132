#include "engine/StrokeMatching.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/Contract.h"

namespace sumiro {

double strokeDistance(std::span<const InkPoint> a, std::span<const InkPoint> b) {
    const std::size_t k = std::min(a.size(), b.size());
    if (k == 0) {
        return 0.0;
    }
    const std::size_t last = b.size() - 1;
    double forward = 0.0;
    double reverse = 0.0;
    // One pass for both pairings. Strokes reach here normalized (within +-0.5), where the plain
    // formula can neither overflow nor underflow, so the much slower hypot buys nothing.
    for (std::size_t i = 0; i < k; ++i) {
        const double fx = a[i].x - b[i].x;
        const double fy = a[i].y - b[i].y;
        const double rx = a[i].x - b[last - i].x;
        const double ry = a[i].y - b[last - i].y;
        forward += std::sqrt(fx * fx + fy * fy);
        reverse += std::sqrt(rx * rx + ry * ry);
    }
    const double reversed = reverse + kReversalPenalty;
    const double best = reversed < forward ? reversed : forward;
    return best / static_cast<double>(a.size());
}

double assignmentCost(const CostMatrix& matrix, AssignmentWorkspace& w) {
    const std::size_t n = matrix.side;
    if (n == 0) {
        return 0.0;
    }
    SUMIRO_EXPECTS(matrix.cells.size() >= n * n, "assignmentCost: the matrix must be square");
    constexpr double inf = std::numeric_limits<double>::infinity();
    // With a non-finite entry the search for a free column need not end.
    if (!std::all_of(matrix.cells.begin(), matrix.cells.begin() + n * n,
                     [](double c) { return std::isfinite(c); })) {
        return inf;
    }
    w.u.assign(n + 1, 0.0);
    w.v.assign(n + 1, 0.0);
    w.p.assign(n + 1, 0);
    w.way.assign(n + 1, 0);
    const double* cells = matrix.cells.data();

    for (std::size_t i = 1; i <= n; ++i) {
        w.p[0] = i;
        std::size_t j0 = 0;
        w.minv.assign(n + 1, inf);
        w.used.assign(n + 1, 0);
        do {
            w.used[j0] = 1;
            const std::size_t i0 = w.p[j0];
            double delta = inf;
            std::size_t j1 = 0;
            const double* row = cells + (i0 - 1) * n;
            for (std::size_t j = 1; j <= n; ++j) {
                if (w.used[j]) {
                    continue;
                }
                const double cur = row[j - 1] - w.u[i0] - w.v[j];
                if (cur < w.minv[j]) {
                    w.minv[j] = cur;
                    w.way[j] = j0;
                }
                if (w.minv[j] < delta) {
                    delta = w.minv[j];
                    j1 = j;
                }
            }
            // Finite entries always reach a column; overflowing potentials might not.
            if (j1 == 0) {
                return inf;
            }
            for (std::size_t j = 0; j <= n; ++j) {
                if (w.used[j]) {
                    w.u[w.p[j]] += delta;
                    w.v[j] -= delta;
                } else {
                    w.minv[j] -= delta;
                }
            }
            j0 = j1;
        } while (w.p[j0] != 0);
        do {
            const std::size_t j1 = w.way[j0];
            w.p[j0] = w.p[j1];
            j0 = j1;
        } while (j0 != 0);
    }
    return -w.v[0] / static_cast<double>(n);
}

double assignmentCost(const std::vector<std::vector<double>>& rows) {
    const std::size_t n = rows.size();
    CostMatrix matrix{n, std::vector<double>(n * n)};
    for (std::size_t i = 0; i < n; ++i) {
        SUMIRO_EXPECTS(rows[i].size() >= n, "assignmentCost: the matrix must be square");
        std::copy_n(rows[i].begin(), n, matrix.cells.begin() + static_cast<std::ptrdiff_t>(i * n));
    }
    AssignmentWorkspace workspace;
    return assignmentCost(matrix, workspace);
}

}  // namespace sumiro
