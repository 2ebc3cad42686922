#include "rendering/styles/planara_subdivision.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <tuple>

namespace murmura::planara {

namespace {

constexpr double kSnapDistance = 0.03;  // a proposal this close to a line strengthens it
constexpr std::array<double, 4> kGolden{0.382, 0.618, 0.145924, 0.8540760000000001};
constexpr size_t kProtected = 4;
constexpr size_t kMaxVisibleForTopUp = 5;

double area(const Rect& r) { return r.width * r.height; }
int64_t axisBit(Axis a) { return a == Axis::vertical ? 1 : 0; }
double quantise(double v, double step) { return std::clamp(std::round(v / step) * step, 0.0, 1.0); }

bool spansTouch(double aMax, double bMin, double bMax, double aMin, double cross) {
    return (std::abs(aMax - bMin) < 0.0001 || std::abs(bMax - aMin) < 0.0001) && cross > 0.005;
}

}  // namespace

double leafAspect(const Rect& leaf, double aspect) {
    if (!(leaf.width > 1e-9 && leaf.height > 1e-9)) return std::numeric_limits<double>::infinity();
    const double r = aspect * leaf.width / leaf.height;
    return std::max(r, 1 / r);
}

bool leafFits(const Rect& leaf, double aspect) {
    const double a = area(leaf);
    return leafAspect(leaf, aspect) <= 2.0 && a >= 0.02 && a <= 0.1;
}

bool leavesTouch(const Rect& a, const Rect& b) {
    const double sharedY = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    const double sharedX = std::min(a.maxX(), b.maxX()) - std::max(a.minX(), b.minX());
    return spansTouch(a.maxX(), b.minX(), b.maxX(), a.minX(), sharedY) ||
           spansTouch(a.maxY(), b.minY(), b.maxY(), a.minY(), sharedX);
}

bool leafContains(const Rect& leaf, Point p) {
    const bool inX = leaf.minX() <= p.x && (p.x < leaf.maxX() || (leaf.maxX() > 0.999999 && p.x <= 1));
    const bool inY = leaf.minY() <= p.y && (p.y < leaf.maxY() || (leaf.maxY() > 0.999999 && p.y <= 1));
    return inX && inY;
}

Subdivision::Subdivision(int64_t salt, double minW, double minH) : salt_(salt), minW_(minW), minH_(minH) {
    rebuild();
}

void Subdivision::rebuild() {
    leaves_.clear();
    leaves_[0] = Rect{0, 0, 1, 1};
    segments_.clear();
    visible_.clear();
    int64_t next = 1;
    std::vector<int64_t> snapshot;
    for (const LineEntity& e : entities_) {
        snapshot.clear();
        for (const auto& [key, leaf] : leaves_) snapshot.push_back(key);
        const bool vertical = e.axis == Axis::vertical;
        for (int64_t key : snapshot) {
            if (leaves_.size() >= kMaxLeaves) break;
            const Rect leaf = leaves_.at(key);
            const double lo = vertical ? leaf.minX() : leaf.minY(), hi = vertical ? leaf.maxX() : leaf.maxY();
            const double crossMin = vertical ? leaf.minY() : leaf.minX();
            const double crossMax = vertical ? leaf.maxY() : leaf.maxX();
            const double m = vertical ? minW_ : minH_;
            if (!(e.coord - lo >= m && hi - e.coord >= m)) continue;
            const double ov = std::min(crossMax, e.spanHi) - std::max(crossMin, e.spanLo);
            if (!(ov > 0.02 && (ov >= 0.35 * (crossMax - crossMin) || ov >= 0.22))) continue;
            leaves_.erase(key);
            if (vertical) {
                leaves_[next] = Rect{leaf.x, leaf.y, e.coord - leaf.x, leaf.height};
                leaves_[next + 1] = Rect{e.coord, leaf.y, leaf.maxX() - e.coord, leaf.height};
            } else {
                leaves_[next] = Rect{leaf.x, leaf.y, leaf.width, e.coord - leaf.y};
                leaves_[next + 1] = Rect{leaf.x, e.coord, leaf.width, leaf.maxY() - e.coord};
            }
            next += 2;
            segments_.push_back({e.id, e.axis, e.coord, leaf});
            visible_.insert(e.id);
        }
    }
}

std::optional<size_t> Subdivision::nearest(Axis axis, double coord) const {
    std::optional<size_t> best;
    double bestDistance = 0;
    for (size_t i = 0; i < entities_.size(); ++i) {
        if (entities_[i].axis != axis) continue;
        const double d = std::abs(entities_[i].coord - coord);
        // Ids grow along the list, so keeping the first on a tie keeps the lower id.
        if (!best || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

void Subdivision::reinforce(size_t index, const SplitProposal& p) {
    LineEntity& e = entities_[index];
    e.rank = std::min(e.rank + 0.18, 2.0);
    e.round = std::max(e.round, p.round);
    e.spanLo = std::min(e.spanLo, p.spanLo);
    e.spanHi = std::max(e.spanHi, p.spanHi);
    rebuild();
}

std::vector<double> Subdivision::visibleCoords(Axis axis) const {
    std::vector<double> out;
    for (const LineEntity& e : entities_)
        if (e.axis == axis && isVisible(e.id)) out.push_back(e.coord);
    std::sort(out.begin(), out.end());
    return out;
}

bool Subdivision::regularRhythm(double c, Axis axis) const {
    std::vector<double> p = visibleCoords(axis);
    p.push_back(0);
    p.push_back(1);
    p.push_back(c);
    std::sort(p.begin(), p.end());
    std::vector<double> gaps;
    for (size_t i = 1; i < p.size(); ++i)
        if (p[i] - p[i - 1] > 1e-6) gaps.push_back(p[i] - p[i - 1]);
    for (size_t i = 0; i + 2 < gaps.size(); ++i) {
        const double m = (gaps[i] + gaps[i + 1] + gaps[i + 2]) / 3;
        const double tol = 0.15 * m;
        if (std::abs(gaps[i] - m) <= tol && std::abs(gaps[i + 1] - m) <= tol && std::abs(gaps[i + 2] - m) <= tol)
            return true;
    }
    return false;
}

std::optional<double> Subdivision::snap(double c0, Axis axis) const {
    std::vector<double> p = visibleCoords(axis);
    p.push_back(0);
    p.push_back(1);
    std::sort(p.begin(), p.end());
    size_t h = p.size() - 1;
    for (size_t i = 1; i < p.size(); ++i) {
        if (p[i] >= c0) {
            h = i;
            break;
        }
    }
    const double hi = p[h], lo = p[h - 1];
    if (hi - lo <= 1e-6) return std::nullopt;
    const int64_t key = 2 * static_cast<int64_t>(std::round(c0 / 0.05)) + axisBit(axis) + 11;
    const size_t i = static_cast<size_t>(static_cast<int64_t>(unitHash(salt_ + key) * 4) % 4);
    for (size_t f : {i, (i + 1) % 4, i ^ 2, (i + 3) % 4}) {
        const double c = quantise(lo + (hi - lo) * kGolden[f], 0.005);
        if (lo + 1e-6 < c && c < hi - 1e-6 && !regularRhythm(c, axis)) return c;
    }
    return std::nullopt;
}

std::optional<size_t> Subdivision::evictionChoice(int64_t round, std::optional<int64_t> excluded,
                                                  std::optional<Axis> onlyAxis) const {
    std::vector<const LineEntity*> shown;
    for (const LineEntity& e : entities_)
        if (isVisible(e.id)) shown.push_back(&e);
    std::stable_sort(shown.begin(), shown.end(), [](const LineEntity* a, const LineEntity* b) {
        if (a->rank != b->rank) return a->rank > b->rank;
        if (a->round != b->round) return a->round > b->round;
        return a->coord < b->coord;
    });
    std::set<int64_t> guarded;
    for (size_t i = 0; i < shown.size() && i < kProtected; ++i) guarded.insert(shown[i]->id);

    std::optional<size_t> best;
    auto better = [this](const LineEntity& a, const LineEntity& b) {
        const bool va = isVisible(a.id), vb = isVisible(b.id);
        if (va != vb) return !va;
        if (a.rank != b.rank) return a.rank < b.rank;
        if (a.round != b.round) return a.round < b.round;
        return a.coord < b.coord;
    };
    for (size_t i = 0; i < entities_.size(); ++i) {
        const LineEntity& e = entities_[i];
        if (excluded && e.id == *excluded) continue;
        if (onlyAxis && e.axis != *onlyAxis) continue;
        if (isVisible(e.id) && (guarded.contains(e.id) || e.round > round - 2)) continue;
        if (!best || better(e, entities_[*best])) best = i;
    }
    return best;
}

size_t Subdivision::indexOf(int64_t id) const {
    for (size_t i = 0; i < entities_.size(); ++i)
        if (entities_[i].id == id) return i;
    return entities_.size();
}

void Subdivision::apply(const SplitProposal& p) {
    std::optional<size_t> near = nearest(p.axis, p.coord);
    if (near && std::abs(entities_[*near].coord - p.coord) < kSnapDistance) return reinforce(*near, p);
    const std::optional<double> c = snap(p.coord, p.axis);
    if (!c) {
        if (near) reinforce(*near, p);
        return;
    }
    near = nearest(p.axis, *c);
    if (near && std::abs(entities_[*near].coord - *c) < kSnapDistance) return reinforce(*near, p);

    const std::vector<LineEntity> saved = entities_;
    while (entities_.size() >= kMaxEntities) {
        const std::optional<size_t> victim = evictionChoice(p.round, std::nullopt, std::nullopt);
        if (!victim || (isVisible(entities_[*victim].id) && !(entities_[*victim].rank + 0.05 < p.rank))) {
            entities_ = saved;
            return;
        }
        removeAt(*victim);
    }
    const int64_t id = ++idCounter_;
    entities_.push_back({id, p.axis, *c, p.rank, p.round, p.spanLo, p.spanHi});
    rebuild();
    for (int attempt = 0; attempt < 4 && !isVisible(id); ++attempt) {
        const std::optional<size_t> victim = evictionChoice(p.round, id, std::nullopt);
        if (!victim) break;
        removeAt(*victim);
        rebuild();
    }
    if (!isVisible(id)) {
        entities_ = saved;
        rebuild();
    }
}

void Subdivision::mergeStep(int64_t round) {
    const std::optional<size_t> victim = evictionChoice(round, std::nullopt, std::nullopt);
    if (!victim) return;
    removeAt(*victim);
    rebuild();
}

std::optional<int64_t> Subdivision::leafAt(Point p) const {
    for (const auto& [key, leaf] : leaves_)
        if (leafContains(leaf, p)) return key;
    return std::nullopt;
}

int64_t Subdivision::largestLeaf() const {
    int64_t best = leaves_.begin()->first;
    double bestArea = area(leaves_.begin()->second);
    for (const auto& [key, leaf] : leaves_) {
        if (area(leaf) > bestArea + 1e-9) {
            best = key;
            bestArea = area(leaf);
        }
    }
    return best;
}

void Subdivision::topUp(const ExtractionResult& e, int64_t round, double silentRatio) {
    if (e.sweepTravel < 0.12 && e.charKeyCount < 4) return;
    const int64_t base = static_cast<int64_t>(e.sweepTravel * 2) + e.charKeyCount / 24;
    const double wanted = std::round((1 - 0.7 * silentRatio) * static_cast<double>(std::min<int64_t>(base, 4) + 2));
    const int64_t target = static_cast<int64_t>(std::clamp(wanted, 0.0, 6.0));
    double mx = 0.5, my = 0.5;
    const size_t n = e.tensionPoints.size() + e.candidates.size();
    if (n > 0) {
        double sx = 0, sy = 0;
        for (const Point& p : e.tensionPoints) sx += p.x, sy += p.y;
        for (const ColorCandidate& c : e.candidates) sx += c.x, sy += c.y;
        mx = sx / static_cast<double>(n);
        my = sy / static_cast<double>(n);
    }
    if (visibleCount() > kMaxVisibleForTopUp || target < 1) return;
    for (int64_t i = 0;; ++i) {
        const size_t before = visibleCount();
        size_t nh = 0, nv = 0;
        for (const LineEntity& l : entities_)
            if (isVisible(l.id)) (l.axis == Axis::horizontal ? nh : nv) += 1;
        const Axis axis = nh >= nv ? Axis::vertical : Axis::horizontal;
        const Rect leaf = leaves_.at(largestLeaf());
        const bool h = axis == Axis::horizontal;
        double f = (h ? my : mx) >= 0.5 ? 0.618 : 0.382;
        if (unitHash(13 * i + axisBit(axis) + salt_) >= 0.7) f = 1 - f;
        SplitProposal p;
        p.axis = axis;
        p.coord = quantise(h ? leaf.minY() + f * leaf.height : leaf.minX() + f * leaf.width, 0.05);
        p.spanLo = h ? leaf.minX() : leaf.minY();
        p.spanHi = h ? leaf.maxX() : leaf.maxY();
        p.rank = 0.3;
        p.round = round;
        apply(p);
        const size_t after = visibleCount();
        if (after == before || after > kMaxVisibleForTopUp || i + 1 >= target) return;
    }
}

namespace {

double mirrorScore(const std::vector<double>& p) {
    size_t mirrored = 0;
    for (double a : p)
        if (std::any_of(p.begin(), p.end(), [a](double q) { return std::abs(q - (1 - a)) <= 0.02; })) ++mirrored;
    return static_cast<double>(mirrored) / static_cast<double>(p.size());
}

double mean(const std::vector<double>& p) {
    double s = 0;
    for (double v : p) s += v;
    return s / static_cast<double>(p.size());
}

bool centredAndMirrored(const std::vector<double>& p) {
    return p.size() >= 3 && std::abs(mean(p) - 0.5) <= 0.025 && mirrorScore(p) >= 0.8;
}

}  // namespace

void Subdivision::moveEntity(int64_t id) {
    const size_t index = indexOf(id);
    if (index == entities_.size()) return;
    const LineEntity e = entities_[index];
    double lo = 0, hi = 1;
    for (const LineEntity& o : entities_) {
        if (o.id == id || o.axis != e.axis || !isVisible(o.id)) continue;
        if (o.coord < e.coord) lo = std::max(lo, o.coord);
        if (o.coord > e.coord) hi = std::min(hi, o.coord);
    }
    const int64_t key = 2 * static_cast<int64_t>(std::round(e.coord / 0.05)) + axisBit(e.axis) + 23;
    const double f = unitHash(salt_ + key) >= 0.5 ? 0.618 : 0.382;
    for (double fraction : {f, 1 - f}) {
        const double c = quantise(lo + (hi - lo) * fraction, 0.005);
        if (!(lo + 1e-6 < c && c < hi - 1e-6 && std::abs(c - e.coord) >= 0.015)) continue;
        entities_[indexOf(id)].coord = c;
        rebuild();
        if (isVisible(id)) return;
    }
    entities_[indexOf(id)].coord = e.coord;
    rebuild();
}

void Subdivision::moveWeakestLine(Axis axis) {
    const LineEntity* weakest = nullptr;
    for (const LineEntity& e : entities_) {
        if (e.axis != axis || !isVisible(e.id) || !(std::abs(e.coord - 0.5) > 0.03)) continue;
        if (!weakest || std::tie(e.rank, e.round, e.coord) < std::tie(weakest->rank, weakest->round, weakest->coord))
            weakest = &e;
    }
    if (weakest) moveEntity(weakest->id);
}

void Subdivision::symmetryPass(int64_t round) {
    for (Axis axis : {Axis::vertical, Axis::horizontal}) {
        std::vector<double> p = visibleCoords(axis);
        if (p.size() == 2) {
            if (std::abs(p[0] - (1 - p[1])) <= 0.03) moveWeakestLine(axis);
        } else if (centredAndMirrored(p)) {
            const std::optional<size_t> victim = evictionChoice(round, std::nullopt, axis);
            if (!victim) {
                moveWeakestLine(axis);
            } else {
                removeAt(*victim);
                rebuild();
                if (centredAndMirrored(visibleCoords(axis))) moveWeakestLine(axis);
            }
        }
    }
}

void Subdivision::rhythmPass() {
    for (Axis axis : {Axis::vertical, Axis::horizontal}) {
        const std::vector<double> coords = visibleCoords(axis);
        if (coords.size() < 3) continue;
        std::vector<double> p{0};
        p.insert(p.end(), coords.begin(), coords.end());
        p.push_back(1);
        std::vector<double> g;
        for (size_t i = 1; i < p.size(); ++i) g.push_back(p[i] - p[i - 1]);
        for (size_t w = 0; w + 3 < g.size(); ++w) {
            const double g0 = g[w], g1 = g[w + 1], g2 = g[w + 2], g3 = g[w + 3];
            const bool abab = std::abs(g0 - g2) <= 0.12 * std::max(g0, g2) &&
                              std::abs(g1 - g3) <= 0.12 * std::max(g1, g3) &&
                              std::abs(g0 - g1) > 0.25 * std::max(g0, g1);
            if (!abab) continue;
            const double line = p[w + 2];
            for (const LineEntity& e : entities_) {
                if (e.axis == axis && isVisible(e.id) && std::abs(e.coord - line) <= 1e-6) {
                    moveEntity(e.id);
                    break;
                }
            }
            break;
        }
    }
}

void Subdivision::refine(std::span<const ColorCandidate> candidates, int64_t round, double aspect, int64_t& budget) {
    if (budget < 1 || candidates.empty() || leaves_.size() < 2) return;
    std::vector<ColorCandidate> order(candidates.begin(), candidates.end());
    std::stable_sort(order.begin(), order.end(), [](const ColorCandidate& a, const ColorCandidate& b) {
        if (a.priority != b.priority) return a.priority > b.priority;
        if (a.x != b.x) return a.x < b.x;
        return a.y < b.y;
    });
    if (order.size() > 3) order.resize(3);
    // One attempt per candidate: a proposal that only strengthens a line spends nothing, and
    // retrying it would never end.
    for (const ColorCandidate& c : order) {
        if (budget <= 0) return;
        const std::optional<int64_t> key = leafAt({c.x, c.y});
        if (!key) continue;
        const Rect leaf = leaves_.at(*key);
        if (leafFits(leaf, aspect)) continue;
        const bool neighbourFits = std::any_of(leaves_.begin(), leaves_.end(), [&](const auto& kv) {
            return kv.first != *key && leavesTouch(leaf, kv.second) && leafFits(kv.second, aspect);
        });
        if (neighbourFits || (leafAspect(leaf, aspect) <= 3.0 && area(leaf) <= 0.18)) continue;
        SplitProposal p;
        if (leaf.height <= aspect * leaf.width) {
            const double f = (c.x - leaf.minX()) / std::max(leaf.width, 1e-9) >= 0.5 ? 0.618 : 0.382;
            p = {Axis::vertical, leaf.minX() + leaf.width * f, leaf.minY(), leaf.maxY(), 0.35, round};
        } else {
            const double f = (c.y - leaf.minY()) / std::max(leaf.height, 1e-9) >= 0.5 ? 0.618 : 0.382;
            p = {Axis::horizontal, leaf.minY() + leaf.height * f, leaf.minX(), leaf.maxX(), 0.35, round};
        }
        const size_t before = entities_.size();
        apply(p);
        if (entities_.size() > before) --budget;
    }
}

}  // namespace murmura::planara
