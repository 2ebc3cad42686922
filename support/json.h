#pragma once
// JSON on nlohmann::json with insertion-ordered objects (so written files keep field order),
// plus strict readers for decoding records: every failure names the offending key.
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "support/expected.h"
#include "support/uuid.h"

namespace murmura {

using Json = nlohmann::ordered_json;

struct DecodeError {
    std::string key;     // path of the offending key, e.g. "events[3].keyCode"; empty = the value itself
    std::string reason;  // what is wrong with it
    std::string message() const { return key.empty() ? reason : "\"" + key + "\": " + reason; }
    // The same error seen from an enclosing value, e.g. prefixed("events[3]").
    DecodeError prefixed(std::string_view outer) const;
};

// Thrown by the readers below and turned into a DecodeError at each decoder's boundary.
struct DecodeFailure : std::exception {
    explicit DecodeFailure(DecodeError e) : error(std::move(e)) {}
    const char* what() const noexcept override { return "JSON decoding failure"; }
    DecodeError error;
};

// Runs a decoding body that uses the readers, returning its value or the first failure.
template <class F>
auto catchDecode(F&& body) -> Expected<decltype(body()), DecodeError> {
    try {
        return body();
    } catch (const DecodeFailure& failure) {
        return unexpected(failure.error);
    }
}

namespace json {

[[noreturn]] void fail(std::string key, std::string reason);
const char* typeName(const Json& value);
void requireObject(const Json& value);
// The value under key; a missing key or null fails.
const Json& require(const Json& object, std::string_view key);
// The value under key, or nullptr when the key is missing or null.
const Json* optional(const Json& object, std::string_view key);

double number(const Json& value, std::string_view key);
bool boolean(const Json& value, std::string_view key);
const std::string& string(const Json& value, std::string_view key);
// An integral number (1.0 counts as 1) within [min, max].
int64_t integer(const Json& value, std::string_view key, int64_t min, int64_t max);
Uuid uuid(const Json& value, std::string_view key);
// An array of exactly two numbers.
std::pair<double, double> numberPair(const Json& value, std::string_view key);
// An array of exactly n numbers.
std::vector<double> numbers(const Json& value, std::string_view key, size_t n);

}  // namespace json

// Appends the shortest text that reads back as the same double ("0.1", "3", "1e+300", "-0.0"), for
// writers that stream JSON without building a Json value. False, appending nothing, when v is
// not finite: JSON has no such number.
bool appendJsonNumber(std::string& out, double v);

// Deepest nesting of arrays and objects the readers accept: the files they read nest a few
// levels; a limit keeps hostile input from exhausting the stack or the heap.
inline constexpr size_t kMaxJsonDepth = 64;

// Parses JSON text. The error is one line: a syntax error with its position, a number beyond
// the double range or nesting beyond kMaxJsonDepth with the key path where it happened, or a
// NUL byte (nothing may follow the document, not even after a NUL). Objects are read in linear
// time; of duplicate keys the last value wins.
Expected<Json, std::string> parseJson(std::string_view text);
// Reads and parses a regular file of at most maxBytes (see support/input_file.h) without
// holding its text in memory; the error says what went wrong (the caller adds the path).
Expected<Json, std::string> readJsonFile(const std::filesystem::path& path, uint64_t maxBytes);
// Same, but the elements of the array under streamedKey in the top-level object are handed
// to sink one by one, in order, and not kept: the returned document holds an empty array
// there. A DecodeFailure thrown by sink stops reading; its key is prefixed with
// "<streamedKey>[<index>]".
using JsonElementSink = std::function<void(const Json& element)>;
Expected<Json, std::string> readJsonFile(const std::filesystem::path& path, uint64_t maxBytes,
                                         std::string_view streamedKey, const JsonElementSink& sink);

}  // namespace murmura
