#pragma once
// The colours the ink pictures share: sumi ink and the warm paper it floats over.
#include <array>

namespace murmura::colours {

inline constexpr std::array<float, 3> kSumi{0.102f, 0.102f, 0.122f};
inline constexpr std::array<float, 3> kInkPaper{0.937f, 0.917f, 0.878f};

}  // namespace murmura::colours
