#pragma once
// The part of a long list that inspect shows: items from --from on, at most --count of them.
#include <algorithm>
#include <cstdint>
#include <string>

#include "cli/commands/inspect.h"
#include "support/json.h"

namespace murmura::cli {

struct ListRange {
    size_t begin = 0;
    size_t end = 0;
};

inline ListRange listRange(const Args& options, size_t size) {
    const auto from = static_cast<size_t>(std::min<int64_t>(options.has("from") ? options.integer("from") : 0,
                                                            static_cast<int64_t>(size)));
    const size_t count = options.has("count") ? static_cast<size_t>(options.integer("count")) : size;
    return ListRange{from, from + std::min(count, size - from)};
}

// Appends "[a, b, ...]" of the given numbers (all finite) to out.
template <class... T>
void appendJsonTuple(std::string& out, T... values) {
    out += '[';
    bool first = true;
    ((out += first ? "" : ",", first = false, appendJsonNumber(out, static_cast<double>(values))), ...);
    out += ']';
}

}  // namespace murmura::cli
