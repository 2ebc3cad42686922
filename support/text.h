#pragma once
// Text helpers for names people type or that come from other programs (window titles).
#include <string>
#include <string_view>

namespace murmura {

// The text without the white space and line breaks (Unicode White_Space: tabs, line feeds,
// spaces of every width, NEL, line and paragraph separators) at either end. Expects UTF-8;
// bytes that are not valid UTF-8 are kept.
std::string_view trimWhitespace(std::string_view text);

bool isValidUtf8(std::string_view text);

// The shortest decimal text that reads back as the same value, with ".0" on whole numbers
// ("12.0", "0.1", "1e+300"): numbers in diagnostic lines.
std::string shortestDecimal(double value);
std::string shortestDecimal(float value);
// The text with each invalid UTF-8 sequence replaced by U+FFFD.
std::string toValidUtf8(std::string_view text);

}  // namespace murmura
