#include "engine/tests/DistortedInk.h"

#include <algorithm>
#include <cmath>

namespace sumiro {

Ink distortedInk(const Ink& model, std::mt19937& random, bool reorder) {
    std::uniform_real_distribution<double> angle(-0.12, 0.12);
    std::uniform_real_distribution<double> shear(-0.15, 0.15);
    std::normal_distribution<double> jitter(0.0, 1.5);
    const double a = angle(random);
    const double s = shear(random);
    const double c = std::cos(a);
    const double sn = std::sin(a);

    Ink ink;
    for (const Stroke& stroke : model) {
        Stroke drawn;
        // Three mouse samples per model segment.
        for (std::size_t i = 0; i < stroke.size(); ++i) {
            const int samples = i + 1 < stroke.size() ? 3 : 1;
            for (int k = 0; k < samples; ++k) {
                const InkPoint& p = stroke[i];
                const InkPoint& q = stroke[std::min(i + 1, stroke.size() - 1)];
                const double f = k / 3.0;
                const double x = p.x + (q.x - p.x) * f;
                const double y = p.y + (q.y - p.y) * f;
                drawn.push_back({150 + 250 * (c * x - sn * y + s * y) + jitter(random),
                                 150 + 250 * (sn * x + c * y) + jitter(random)});
            }
        }
        ink.push_back(std::move(drawn));
    }
    if (reorder && !ink.empty()) {
        std::uniform_int_distribution<std::size_t> pick(0, ink.size() - 1);
        Stroke& backwards = ink[pick(random)];
        std::reverse(backwards.begin(), backwards.end());
        const std::size_t first = pick(random);
        std::swap(ink[first], ink[pick(random)]);
    }
    return ink;
}

}  // namespace sumiro
