#pragma once
// The logical canvas of the vector styles: the shorter side is 1080 units, y grows downwards.
// Extractions map recorded positions into it and keep per-cell ink heat to thin out crowded
// places.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/geometry.h"

namespace murmura {

// Pixels per logical unit (the shorter side is 1080 units) and the logical canvas size.
struct LogicalCanvas {
    double k = 1;
    double width = 0;
    double height = 0;
};
inline LogicalCanvas logicalCanvas(int64_t width, int64_t height) {
    const double k = static_cast<double>(std::min(width, height)) / 1080;
    return {k, static_cast<double>(width) / k, static_cast<double>(height) / k};
}

// A recorded position (canvas pixels) scaled into logical units and clamped to
// [0, width - 1] x [0, height - 1]; a NaN coordinate lands on 0.
struct LogicalMapping {
    double width = 0;
    double height = 0;
    double pointScale = 1;

    Point clamp(Point p) const {
        auto c = [](double v, double hi) { return v >= 0 ? (v <= hi ? v : hi) : 0.0; };
        return {c(p.x, width - 1), c(p.y, height - 1)};
    }
    Point operator()(Point p) const { return clamp({p.x * pointScale, p.y * pointScale}); }
};

// Square cells of the given size over a logical canvas, each holding a heat value (from 0);
// points beyond the canvas count in the nearest edge cell.
class HeatGrid {
public:
    HeatGrid(double width, double height, double cellSize)
        : cell_(cellSize), gx_(cells(width, cellSize)), gy_(cells(height, cellSize)),
          heat_(static_cast<size_t>(gx_ * gy_), 0.0) {}

    double& operator[](Point p) {
        const int64_t cx = std::clamp<int64_t>(static_cast<int64_t>(p.x / cell_), 0, gx_ - 1);
        const int64_t cy = std::clamp<int64_t>(static_cast<int64_t>(p.y / cell_), 0, gy_ - 1);
        return heat_[static_cast<size_t>(cx + cy * gx_)];
    }

private:
    static int64_t cells(double side, double cell) {
        return std::max<int64_t>(static_cast<int64_t>(std::ceil(side / cell)), 1);
    }
    double cell_;
    int64_t gx_, gy_;
    std::vector<double> heat_;
};

}  // namespace murmura
