#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/Contract.h"
#include "engine/Ink.h"

namespace sumiro {

/// Normalized strokes (16 points each) kept in blocks that never move: adding a stroke neither
/// allocates for it alone nor copies what is stored, so tens of thousands of strokes cost their
/// points and no more, and stay where they were put.
class StrokeStore {
public:
    static constexpr std::size_t kPoints = 16;

    /// Stores `stroke`, which must have kPoints points; returns its index.
    std::uint32_t add(const Stroke& stroke) {
        SUMIRO_EXPECTS(stroke.size() == kPoints, "StrokeStore: strokes must be normalized");
        if (size_ % kBlockStrokes == 0) {
            blocks_.push_back(std::make_unique<InkPoint[]>(kBlockStrokes * kPoints));
        }
        InkPoint* at = &blocks_.back()[size_ % kBlockStrokes * kPoints];
        for (const InkPoint& p : stroke) {
            *at++ = p;
        }
        return static_cast<std::uint32_t>(size_++);
    }

    std::span<const InkPoint> operator[](std::size_t s) const {
        return {&blocks_[s / kBlockStrokes][s % kBlockStrokes * kPoints], kPoints};
    }

    std::size_t size() const { return size_; }

private:
    // 1 MiB: a few blocks in all, the last one mostly untouched until filled.
    static constexpr std::size_t kBlockStrokes = 4096;
    std::vector<std::unique_ptr<InkPoint[]>> blocks_;
    std::size_t size_ = 0;
};

}  // namespace sumiro
