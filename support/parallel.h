#pragma once
// The one parallel loop of the codebase. Work is split into chunks over [begin, end); each
// chunk must write only its own rows so results never depend on the split or thread count.
#include <cstdint>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

namespace murmura {

// body(chunkBegin, chunkEnd) is called for disjoint chunks covering [begin, end), with at
// least grain indices per chunk where the range allows.
template <class Body>
void parallelFor(int64_t begin, int64_t end, int64_t grain, Body&& body) {
    if (end <= begin) return;
    if (grain < 1) grain = 1;
    tbb::parallel_for(tbb::blocked_range<int64_t>(begin, end, static_cast<size_t>(grain)),
                      [&body](const tbb::blocked_range<int64_t>& r) { body(r.begin(), r.end()); });
}

template <class Body>
void parallelFor(int64_t begin, int64_t end, Body&& body) {
    parallelFor(begin, end, 1, std::forward<Body>(body));
}

}  // namespace murmura
