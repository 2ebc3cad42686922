#pragma once
// The line-and-cell engine of the Planara style: horizontal and vertical lines that cut the unit
// square into at most 20 rectangles (leaves), with the clean-up passes that keep the grid
// balanced. Canvas-normalised coordinates throughout; leaves are (x, y, width, height).
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "rendering/styles/planara_extraction.h"

namespace murmura::planara {

inline constexpr size_t kMaxLeaves = 20;
inline constexpr size_t kMaxEntities = 16;

struct LineEntity {
    int64_t id = 0;  // unique, never reused
    Axis axis = Axis::horizontal;
    double coord = 0;
    double rank = 0;
    int64_t round = 0;
    double spanLo = 0;
    double spanHi = 0;
    friend bool operator==(const LineEntity&, const LineEntity&) = default;
};

// The part of a line that cut one leaf.
struct LineSegment {
    int64_t entityID = 0;
    Axis axis = Axis::horizontal;
    double coord = 0;
    Rect parent;  // the leaf it cut
};

// Leaf predicates shared with the colouring. aspect: canvas width / height.
double leafAspect(const Rect& leaf, double aspect);  // >= 1; infinite for a degenerate leaf
// A well-shaped mid-sized cell: aspect at most 2 and area within [0.02, 0.1].
bool leafFits(const Rect& leaf, double aspect);
// An edge of one lies on an edge of the other, with a shared extent above 0.005.
bool leavesTouch(const Rect& a, const Rect& b);
bool leafContains(const Rect& leaf, Point p);
inline double midX(const Rect& r) { return r.x + r.width / 2; }
inline double midY(const Rect& r) { return r.y + r.height / 2; }

class Subdivision {
public:
    Subdivision(int64_t salt, double minW, double minH);

    int64_t salt() const { return salt_; }
    const std::vector<LineEntity>& entities() const { return entities_; }
    const std::map<int64_t, Rect>& leaves() const { return leaves_; }
    const std::vector<LineSegment>& segments() const { return segments_; }
    bool isVisible(int64_t id) const { return visible_.contains(id); }
    size_t visibleCount() const { return visible_.size(); }

    // Adds, strengthens or drops a proposed line; always leaves the invariants intact.
    void apply(const SplitProposal& p);
    // A removal request: evicts the weakest removable line, if any.
    void mergeStep(int64_t round);

    std::optional<int64_t> leafAt(Point p) const;
    // Ascending key order; a later leaf wins only when larger by more than 1e-9.
    int64_t largestLeaf() const;

    // Clean-up passes, in the order the renderer runs them.
    void topUp(const ExtractionResult& e, int64_t round, double silentRatio);
    void symmetryPass(int64_t round);
    void rhythmPass();
    // Cuts oversized or badly shaped cells under the strongest candidates; spends budget on
    // every cut that adds a line.
    void refine(std::span<const ColorCandidate> candidates, int64_t round, double aspect, int64_t& budget);

private:
    void rebuild();
    void reinforce(size_t index, const SplitProposal& p);
    std::optional<size_t> nearest(Axis axis, double coord) const;
    std::optional<double> snap(double c0, Axis axis) const;
    bool regularRhythm(double c, Axis axis) const;
    std::vector<double> visibleCoords(Axis axis) const;
    std::optional<size_t> evictionChoice(int64_t round, std::optional<int64_t> excluded,
                                         std::optional<Axis> onlyAxis) const;
    void removeAt(size_t index) { entities_.erase(entities_.begin() + static_cast<std::ptrdiff_t>(index)); }
    size_t indexOf(int64_t id) const;
    void moveWeakestLine(Axis axis);
    void moveEntity(int64_t id);

    int64_t salt_;
    double minW_, minH_;
    int64_t idCounter_ = 0;
    std::vector<LineEntity> entities_;
    std::map<int64_t, Rect> leaves_;
    std::vector<LineSegment> segments_;
    std::set<int64_t> visible_;
};

}  // namespace murmura::planara
