#include "tools/databuild/SvgPath.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

namespace sumiro::databuild {
namespace {

// Sub-steps per segment for the arc-length table. KanjiVG segments are short and gently curved,
// so 32 chords measure them to far better than the 0.1 output resolution.
constexpr int kLengthSteps = 32;

PathPoint lerp(PathPoint a, PathPoint b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

PathPoint reflect(PathPoint control, PathPoint about) {
    return {2 * about.x - control.x, 2 * about.y - control.y};
}

double distance(PathPoint a, PathPoint b) { return std::hypot(b.x - a.x, b.y - a.y); }

/// Splits path data into commands and numbers following the SVG path grammar, where "1.5.5"
/// is two numbers and a sign or a command letter ends a number.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view data) : data_(data) {}

    void skipSeparators() {
        while (pos_ < data_.size() &&
               (std::isspace(static_cast<unsigned char>(data_[pos_])) || data_[pos_] == ','))
            ++pos_;
    }

    bool atEnd() {
        skipSeparators();
        return pos_ >= data_.size();
    }

    bool atCommand() {
        skipSeparators();
        return pos_ < data_.size() && std::isalpha(static_cast<unsigned char>(data_[pos_])) &&
               data_[pos_] != 'e' && data_[pos_] != 'E';
    }

    char command() { return data_[pos_++]; }

    bool atNumber() {
        skipSeparators();
        if (pos_ >= data_.size()) return false;
        const char c = data_[pos_];
        return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.';
    }

    double number() {
        skipSeparators();
        std::size_t end = pos_;
        if (end < data_.size() && (data_[end] == '-' || data_[end] == '+')) ++end;
        bool digits = false;
        bool dot = false;
        while (end < data_.size()) {
            const char c = data_[end];
            if (std::isdigit(static_cast<unsigned char>(c))) {
                digits = true;
            } else if (c == '.' && !dot) {
                dot = true;
            } else {
                break;
            }
            ++end;
        }
        if (digits && end < data_.size() && (data_[end] == 'e' || data_[end] == 'E')) {
            std::size_t exp = end + 1;
            if (exp < data_.size() && (data_[exp] == '-' || data_[exp] == '+')) ++exp;
            if (exp < data_.size() && std::isdigit(static_cast<unsigned char>(data_[exp]))) {
                while (exp < data_.size() && std::isdigit(static_cast<unsigned char>(data_[exp])))
                    ++exp;
                end = exp;
            }
        }
        if (!digits) fail("expected a number");
        // from_chars rejects a leading '+', which SVG allows.
        const std::size_t from = data_[pos_] == '+' ? pos_ + 1 : pos_;
        double value = 0.0;
        const auto [ptr, ec] = std::from_chars(data_.data() + from, data_.data() + end, value);
        if (ec != std::errc() || ptr != data_.data() + end) fail("bad number");
        pos_ = end;
        return value;
    }

    [[noreturn]] void fail(const std::string& what) const {
        throw std::invalid_argument(what + " at offset " + std::to_string(pos_) + " of path data");
    }

private:
    std::string_view data_;
    std::size_t pos_ = 0;
};

}  // namespace

PathPoint SvgPath::Segment::at(double t) const {
    const double u = 1.0 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
}

SvgPath SvgPath::parse(std::string_view data) {
    SvgPath path;
    Tokenizer tokens(data);
    PathPoint current;
    PathPoint subpathStart;
    // Reflection sources for S and T: valid only right after a cubic or quadratic command.
    PathPoint lastCubicControl, lastQuadControl;
    char previous = 0;
    char command = 0;
    bool sawMove = false;

    auto line = [&](PathPoint to) {
        path.segments_.push_back(
            {current, lerp(current, to, 1.0 / 3), lerp(current, to, 2.0 / 3), to});
        current = to;
    };
    auto cubic = [&](PathPoint c1, PathPoint c2, PathPoint to) {
        path.segments_.push_back({current, c1, c2, to});
        lastCubicControl = c2;
        current = to;
    };
    auto quadratic = [&](PathPoint control, PathPoint to) {
        // Degree elevation: the same curve as a cubic.
        path.segments_.push_back(
            {current, lerp(current, control, 2.0 / 3), lerp(to, control, 2.0 / 3), to});
        lastQuadControl = control;
        current = to;
    };

    while (!tokens.atEnd()) {
        if (tokens.atCommand()) {
            command = tokens.command();
        } else if (command == 0) {
            tokens.fail("path data must start with a command");
        } else if (command == 'M' || command == 'm') {
            // Coordinates after a move-to are implicit line-tos.
            command = command == 'M' ? 'L' : 'l';
        } else if (command == 'Z' || command == 'z') {
            tokens.fail("numbers after a close-path");
        }
        const bool relative = std::islower(static_cast<unsigned char>(command));
        const PathPoint base = relative ? current : PathPoint{};
        // Far beyond any drawing, and beyond what the output's tenths can hold, is refused; so
        // every point of a segment, which lies within its control points, is in range too.
        auto checked = [&](PathPoint p) {
            if (!(std::abs(p.x) <= kMaxCoordinate && std::abs(p.y) <= kMaxCoordinate))
                tokens.fail("coordinate out of range");
            return p;
        };
        auto point = [&] {
            const double x = tokens.number();
            const double y = tokens.number();
            return checked({base.x + x, base.y + y});
        };
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(command)));
        if (upper != 'M' && !sawMove) tokens.fail("path data must start with a move-to");
        switch (upper) {
            case 'M':
                current = point();
                subpathStart = current;
                if (!sawMove) path.start_ = current;
                sawMove = true;
                break;
            case 'L':
                line(point());
                break;
            case 'H':
                line(checked({(relative ? current.x : 0.0) + tokens.number(), current.y}));
                break;
            case 'V':
                line(checked({current.x, (relative ? current.y : 0.0) + tokens.number()}));
                break;
            case 'C': {
                const PathPoint c1 = point();
                const PathPoint c2 = point();
                cubic(c1, c2, point());
                break;
            }
            case 'S': {
                const bool follows = previous == 'C' || previous == 'S';
                const PathPoint c1 =
                    checked(follows ? reflect(lastCubicControl, current) : current);
                const PathPoint c2 = point();
                cubic(c1, c2, point());
                break;
            }
            case 'Q': {
                const PathPoint control = point();
                quadratic(control, point());
                break;
            }
            case 'T': {
                const bool follows = previous == 'Q' || previous == 'T';
                // A chain of reflections could otherwise walk off without bound.
                quadratic(checked(follows ? reflect(lastQuadControl, current) : current), point());
                break;
            }
            case 'Z':
                if (current != subpathStart) line(subpathStart);
                current = subpathStart;
                break;
            default:
                tokens.fail(std::string("unsupported command '") + command + "'");
        }
        previous = upper;
        if (upper != 'Z' && !tokens.atEnd() && !tokens.atCommand() && !tokens.atNumber())
            tokens.fail("unexpected character");
    }
    return path;
}

std::vector<double> SvgPath::arcLengths() const {
    std::vector<double> cumulative;
    cumulative.reserve(segments_.size() * kLengthSteps);
    double total = 0.0;
    for (const Segment& segment : segments_) {
        PathPoint previous = segment.p0;
        for (int i = 1; i <= kLengthSteps; ++i) {
            const PathPoint p = segment.at(static_cast<double>(i) / kLengthSteps);
            total += distance(previous, p);
            cumulative.push_back(total);
            previous = p;
        }
    }
    return cumulative;
}

double SvgPath::length() const {
    const std::vector<double> cumulative = arcLengths();
    return cumulative.empty() ? 0.0 : cumulative.back();
}

std::vector<PathPoint> SvgPath::sampleEvenly(int count) const {
    return sampleAlong(arcLengths(), count);
}

std::vector<PathPoint> SvgPath::sampleAlong(const std::vector<double>& cumulative,
                                            int count) const {
    std::vector<PathPoint> points;
    if (count <= 0) return points;
    points.reserve(static_cast<std::size_t>(count));
    if (segments_.empty()) {
        points.assign(static_cast<std::size_t>(count), start_);
        return points;
    }
    const double total = cumulative.back();
    points.push_back(segments_.front().p0);
    for (int k = 1; k < count - 1; ++k) {
        const double target = total * k / (count - 1);
        auto it = std::lower_bound(cumulative.begin(), cumulative.end(), target);
        if (it == cumulative.end()) --it;
        const auto index = static_cast<std::size_t>(it - cumulative.begin());
        const double before = index == 0 ? 0.0 : cumulative[index - 1];
        const double span = *it - before;
        const double fraction = span > 0.0 ? std::clamp((target - before) / span, 0.0, 1.0) : 0.0;
        const double t = (static_cast<double>(index % kLengthSteps) + fraction) / kLengthSteps;
        // Within one sub-step the parameter is interpolated, but the point is evaluated on the
        // curve itself, so every sample lies exactly on the path.
        points.push_back(segments_[index / kLengthSteps].at(t));
    }
    if (count > 1) points.push_back(segments_.back().p3);
    return points;
}

std::vector<PathPoint> SvgPath::sample(double spacing, int minPoints, int maxPoints) const {
    const std::vector<double> cumulative = arcLengths();
    const double total = cumulative.empty() ? 0.0 : cumulative.back();
    const long wanted = std::lround(total / spacing) + 1;
    return sampleAlong(cumulative, static_cast<int>(std::clamp<long>(wanted, minPoints, maxPoints)));
}

}  // namespace sumiro::databuild
