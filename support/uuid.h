#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace murmura {

class SplitMix64;

// RFC 4122 identifier; formatted as 36 upper-case hexadecimal characters with hyphens.
class Uuid {
public:
    Uuid() = default;  // the nil UUID
    explicit Uuid(const std::array<uint8_t, 16>& bytes) : bytes_(bytes) {}

    // A version-4 UUID from the operating system's randomness.
    static Uuid random();
    // A version-4 UUID drawn from a seeded generator, for reproducible data.
    static Uuid random(SplitMix64& generator);
    // Accepts the canonical 8-4-4-4-12 form in either case; anything else gives nothing.
    static std::optional<Uuid> parse(std::string_view text);

    std::string toString() const;
    const std::array<uint8_t, 16>& bytes() const { return bytes_; }
    bool isNil() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;

private:
    std::array<uint8_t, 16> bytes_{};
};

}  // namespace murmura
