#include "support/json.h"

#include <charconv>
#include <cmath>

namespace murmura {

DecodeError DecodeError::prefixed(std::string_view outer) const {
    std::string path(outer);
    if (!key.empty()) {
        if (key.front() != '[') path += '.';
        path += key;
    }
    return DecodeError{std::move(path), reason};
}

namespace json {

void fail(std::string key, std::string reason) { throw DecodeFailure(DecodeError{std::move(key), std::move(reason)}); }

const char* typeName(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null: return "null";
        case Json::value_t::object: return "an object";
        case Json::value_t::array: return "an array";
        case Json::value_t::string: return "a string";
        case Json::value_t::boolean: return "a boolean";
        case Json::value_t::binary: return "binary data";
        case Json::value_t::discarded: return "nothing";
        default: return "a number";
    }
}

void requireObject(const Json& value) {
    if (!value.is_object()) fail("", std::string("expected an object, found ") + typeName(value));
}

const Json& require(const Json& object, std::string_view key) {
    auto it = object.find(key);
    if (it == object.end()) fail(std::string(key), "missing");
    if (it->is_null()) fail(std::string(key), "must not be null");
    return *it;
}

const Json* optional(const Json& object, std::string_view key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

double number(const Json& value, std::string_view key) {
    if (!value.is_number()) fail(std::string(key), std::string("expected a number, found ") + typeName(value));
    double d = value.get<double>();
    if (!std::isfinite(d)) fail(std::string(key), "number out of range");
    return d;
}

bool boolean(const Json& value, std::string_view key) {
    if (!value.is_boolean()) fail(std::string(key), std::string("expected true or false, found ") + typeName(value));
    return value.get<bool>();
}

const std::string& string(const Json& value, std::string_view key) {
    if (!value.is_string()) fail(std::string(key), std::string("expected a string, found ") + typeName(value));
    return value.get_ref<const std::string&>();
}

int64_t integer(const Json& value, std::string_view key, int64_t min, int64_t max) {
    auto outOfRange = [&](const std::string& shown) {
        fail(std::string(key), shown + " is out of range " + std::to_string(min) + "..." + std::to_string(max));
    };
    if (value.is_number_unsigned()) {
        uint64_t u = value.get<uint64_t>();
        if (u > static_cast<uint64_t>(max)) outOfRange(std::to_string(u));
        return static_cast<int64_t>(u);
    }
    if (value.is_number_integer()) {
        int64_t i = value.get<int64_t>();
        if (i < min || i > max) outOfRange(std::to_string(i));
        return i;
    }
    if (value.is_number_float()) {
        double d = value.get<double>();
        if (!std::isfinite(d) || d != std::floor(d)) fail(std::string(key), "expected an integer, found " + value.dump());
        // Compare in double before converting so huge values cannot overflow the cast.
        if (d < static_cast<double>(min) || d > static_cast<double>(max) || d >= 0x1p63 || d < -0x1p63)
            outOfRange(value.dump());
        return static_cast<int64_t>(d);
    }
    fail(std::string(key), std::string("expected an integer, found ") + typeName(value));
}

Uuid uuid(const Json& value, std::string_view key) {
    const std::string& text = string(value, key);
    auto parsed = Uuid::parse(text);
    if (!parsed) fail(std::string(key), "\"" + text.substr(0, 64) + "\" is not a UUID");
    return *parsed;
}

std::vector<double> numbers(const Json& value, std::string_view key, size_t n) {
    if (!value.is_array() || value.size() != n)
        fail(std::string(key), "expected an array of " + std::to_string(n) + " numbers, found " +
                                   (value.is_array() ? "an array of " + std::to_string(value.size()) : typeName(value)));
    std::vector<double> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) out.push_back(number(value[i], std::string(key) + "[" + std::to_string(i) + "]"));
    return out;
}

std::pair<double, double> numberPair(const Json& value, std::string_view key) {
    auto v = numbers(value, key, 2);
    return {v[0], v[1]};
}

}  // namespace json

bool appendJsonNumber(std::string& out, double v) {
    if (!std::isfinite(v)) return false;
    // "-0" would read back as the integer 0 and lose the sign; "-0.0" stays a double.
    if (v == 0 && std::signbit(v)) {
        out += "-0.0";
        return true;
    }
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v);
    out.append(text, r.ptr);
    return true;
}

}  // namespace murmura
