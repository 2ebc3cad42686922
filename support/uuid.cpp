#include "support/uuid.h"

#include <random>

#include "support/random.h"

namespace murmura {
namespace {

Uuid fromWords(uint64_t high, uint64_t low) {
    std::array<uint8_t, 16> b{};
    for (int i = 0; i < 8; ++i) {
        b[i] = static_cast<uint8_t>(high >> (56 - 8 * i));
        b[8 + i] = static_cast<uint8_t>(low >> (56 - 8 * i));
    }
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return Uuid(b);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

Uuid Uuid::random() {
    // One generator per thread, seeded once from the OS; identifiers need uniqueness, not secrecy.
    thread_local SplitMix64 generator = [] {
        std::random_device device;
        uint64_t seed = (static_cast<uint64_t>(device()) << 32) ^ device();
        return SplitMix64(seed);
    }();
    return random(generator);
}

Uuid Uuid::random(SplitMix64& generator) {
    uint64_t high = generator.next();
    uint64_t low = generator.next();
    return fromWords(high, low);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    std::array<uint8_t, 16> b{};
    size_t byte = 0;
    for (size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        int hi = hexValue(text[i]);
        int lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        b[byte++] = static_cast<uint8_t>(hi << 4 | lo);
        i += 2;
    }
    return Uuid(b);
}

std::string Uuid::toString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(kDigits[bytes_[i] >> 4]);
        out.push_back(kDigits[bytes_[i] & 0x0F]);
    }
    return out;
}

bool Uuid::isNil() const {
    for (uint8_t b : bytes_)
        if (b != 0) return false;
    return true;
}

}  // namespace murmura
