#pragma once
// Text from outside the program (window titles, class names) is not always valid UTF-8.
#include <string>
#include <string_view>

namespace murmura {

// Replaces every invalid UTF-8 sequence (stray bytes, truncated or overlong forms, surrogates,
// values beyond U+10FFFF) with U+FFFD, one replacement per offending byte.
std::string repairUtf8(std::string_view bytes);

}  // namespace murmura
