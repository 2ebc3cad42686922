#include "rendering/styles/planara_colouring.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace murmura::planara {

namespace {

constexpr double kOffCentre = 0.08;
constexpr size_t kMaxBalanceRemovals = 2;

double area(const Rect& r) { return r.width * r.height; }
bool offCentre(const Rect& r) { return std::abs(midX(r) - 0.5) >= kOffCentre; }

// A usable cell when nothing fits: aspect at most 4 and area within [0.008, limit].
bool leafAcceptable(const Rect& r, double aspect, double limit) {
    const double a = area(r);
    return leafAspect(r, aspect) <= 4.0 && a >= 0.008 && a <= limit;
}

// Off-centre before central; within a class the smaller key of `measure` (by more than eps).
struct Preference {
    std::optional<int64_t> key;
    bool off = false;
    double value = 0;
    void offer(int64_t k, const Rect& r, double v, double eps) {
        const bool o = offCentre(r);
        if (!key || (o && !off) || (o == off && v < value - eps)) {
            key = k;
            off = o;
            value = v;
        }
    }
};

// Area-weighted mean of the middles of the coloured, non-black cells, leaving out one key.
double balanceCentre(const std::map<int64_t, Rect>& leaves, const Colouring& colours, std::optional<int64_t> without) {
    double weight = 0, sum = 0;
    for (const auto& [key, colour] : colours) {
        if (colour == kBlack || (without && key == *without)) continue;
        const Rect& r = leaves.at(key);
        weight += area(r);
        sum += area(r) * midX(r);
    }
    return weight > 0 ? sum / weight : 0.5;
}

}  // namespace

size_t balanceColouring(const std::map<int64_t, Rect>& leaves, Colouring& colours) {
    size_t removals = 0;
    for (; removals < kMaxBalanceRemovals; ++removals) {
        const auto painted = std::count_if(colours.begin(), colours.end(), [](const auto& kv) { return kv.second != kBlack; });
        if (painted < 2) break;
        const double current = std::abs(balanceCentre(leaves, colours, std::nullopt) - 0.5);
        if (current >= kOffCentre) break;
        std::optional<int64_t> best;
        double bestValue = current;
        for (const auto& [key, colour] : colours) {
            if (colour == kBlack) continue;
            const double v = std::abs(balanceCentre(leaves, colours, key) - 0.5);
            if (v > current + 1e-9 && (!best || v > bestValue)) {
                best = key;
                bestValue = v;
            }
        }
        if (!best) break;
        colours.erase(*best);
    }
    return removals;
}

std::vector<ColorCandidate> tensionCandidates(std::span<const Point> tensionPoints, int64_t round) {
    std::vector<ColorCandidate> out;
    for (auto it = tensionPoints.rbegin(); it != tensionPoints.rend() && out.size() < 2; ++it) {
        const Point p = *it;
        if (!(p.x > 0.02 && p.x < 0.98 && p.y > 0.02 && p.y < 0.98)) continue;
        const bool crowded = std::any_of(out.begin(), out.end(), [p](const ColorCandidate& c) {
            return std::abs(c.x - p.x) <= 0.08 && std::abs(c.y - p.y) <= 0.08;
        });
        if (crowded) continue;
        out.push_back({p.x, p.y, 0.4 - 0.05 * static_cast<double>(out.size()), round, false, 0});
    }
    return out;
}

Colouring fallbackColouring(const Subdivision& grid, double aspect, int64_t salt) {
    if (grid.leaves().size() < 2) return {};
    const int64_t largest = grid.largestLeaf();
    for (double limit : {0.1, 0.18}) {
        Preference pick;
        for (const auto& [key, leaf] : grid.leaves())
            if (key != largest && leafAcceptable(leaf, aspect, limit)) pick.offer(key, leaf, area(leaf), 1e-12);
        if (pick.key) return {{*pick.key, kPalette[static_cast<size_t>(salt % 3)]}};
    }
    return {};
}

Colouring assignColours(const Subdivision& grid, const AssignmentInputs& in) {
    const auto& leaves = grid.leaves();
    if (leaves.size() < 2 || in.candidates.empty()) return {};
    const int64_t largest = grid.largestLeaf();
    const double A = in.aspect;

    std::map<int64_t, double> scores;
    std::set<int64_t> dwellLeaves;
    for (const ColorCandidate& c : in.candidates) {
        double p = c.priority;
        if (in.whiteBiasRounds && in.whiteBiasRounds->contains(c.round)) p *= 0.3;
        double score = 0.1 * ((c.x - 0.5) * in.balanceBias.x + (c.y - 0.5) * in.balanceBias.y) + p;
        const std::optional<int64_t> at = grid.leafAt({c.x, c.y});
        if (!at) continue;
        const Rect& L = leaves.at(*at);
        std::optional<int64_t> target;
        if (*at != largest && leafFits(L, A) && offCentre(L)) {
            target = at;
        } else {
            Preference neighbour;
            for (const auto& [key, n] : leaves) {
                if (key == *at || key == largest || !leavesTouch(L, n) || !leafFits(n, A)) continue;
                const double dx = midX(n) - c.x, dy = midY(n) - c.y;
                neighbour.offer(key, n, dx * dx + dy * dy, 1e-12);
            }
            if (neighbour.key) target = neighbour.key;
            else if (*at == largest) continue;
            else if (leafFits(L, A) || leafAcceptable(L, A, in.areaLimit)) target = at;
            else continue;
        }
        if (!c.isDwell) score *= std::max(1.1 - 2.5 * area(leaves.at(*target)), 0.3);
        if (auto old = scores.find(*target); old != scores.end()) score = std::max(score, old->second) + 0.05;
        scores[*target] = score;
        if (c.isDwell) dwellLeaves.insert(*target);
    }
    if (scores.empty()) return {};

    std::vector<std::pair<int64_t, double>> order(scores.begin(), scores.end());
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    Colouring colours;
    double total = 0, nonDwell = 0;
    int64_t cursor = in.salt;
    const double budget = (1 - 0.35 * in.silentRatio) * 0.26;
    for (const auto& [key, score] : order) {
        const Rect& leaf = leaves.at(key);
        const double a = area(leaf);
        const bool dwell = dwellLeaves.contains(key);
        if (total + a > budget || (!dwell && nonDwell + a > 0.16)) continue;
        for (int64_t t = 0; t < 3; ++t) {
            const int64_t i = (t + cursor % 3) % 3;
            const RGB colour = kPalette[static_cast<size_t>(i)];
            const bool clash = std::any_of(colours.begin(), colours.end(), [&](const auto& kv) {
                return kv.second == colour && leavesTouch(leaves.at(kv.first), leaf);
            });
            if (clash) continue;
            colours[key] = colour;
            cursor = t + cursor % 3 + 1;
            total += a;
            if (!dwell) nonDwell += a;
            break;
        }
    }

    if (leaves.size() > 7 && colours.size() > 2) {
        std::optional<int64_t> smallest;
        for (const auto& [key, colour] : colours) {
            const double a = area(leaves.at(key));
            if (a <= 0.04 && (!smallest || a < area(leaves.at(*smallest)))) smallest = key;
        }
        if (smallest) colours[*smallest] = kBlack;
    }
    balanceColouring(leaves, colours);
    return colours;
}

}  // namespace murmura::planara
