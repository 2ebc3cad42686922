#include "rendering/png_deflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>

namespace murmura {
namespace {

constexpr int kLiteralLengthSymbols = 286;  // 0-255 literals, 256 end of block, 257-285 lengths
constexpr int kEndOfBlock = 256;
constexpr int kCodeLengthSymbols = 19;
constexpr size_t kMinRun = 3, kMaxRun = 258;
constexpr size_t kBlockBytes = size_t(1) << 17;  // input per block, so that codes follow the picture
constexpr size_t kStoredMax = 65535;

// Runs are kept in the token stream as 256 + length, literals as themselves.
constexpr uint16_t kRunBase = 256;

struct LengthCode {
    uint16_t symbol = 0;
    uint8_t extraBits = 0;
    uint8_t extra = 0;
};

// The length symbol of each run length 3..258 (RFC 1951, 3.2.5); 258 has its own symbol.
const std::array<LengthCode, kMaxRun + 1> kLengthCodes = [] {
    static constexpr uint16_t kBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                           31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr uint8_t kBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthCode, kMaxRun + 1> table{};
    for (int c = 0; c < 29; ++c)
        for (size_t k = 0; k < (size_t(1) << kBits[c]) && kBase[c] + k <= kMaxRun; ++k)
            table[kBase[c] + k] = {static_cast<uint16_t>(257 + c), kBits[c], static_cast<uint8_t>(k)};
    return table;
}();

const std::array<uint8_t, 29> kLengthExtraBits = [] {
    std::array<uint8_t, 29> bits{};
    for (size_t r = kMinRun; r <= kMaxRun; ++r) bits[kLengthCodes[r].symbol - 257] = kLengthCodes[r].extraBits;
    return bits;
}();

// Order in which the code length code lengths are sent.
constexpr uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Huffman code lengths of at most limit bits for the frequencies. At least two symbols get a
// code (unused ones are given a count of one), so every code is complete, as strict inflaters
// require. Too long a code flattens the counts and tries again.
void codeLengths(uint32_t* freq, int n, int limit, uint8_t* lengths) {
    int used = static_cast<int>(std::count_if(freq, freq + n, [](uint32_t f) { return f > 0; }));
    for (int s = 0; used < 2 && s < n; ++s)
        if (freq[s] == 0) freq[s] = 1, ++used;
    std::vector<uint64_t> weight(freq, freq + n);
    std::vector<int> parent(2 * static_cast<size_t>(n));
    std::vector<int> depth(2 * static_cast<size_t>(n));
    using Item = std::pair<uint64_t, int>;  // weight, node: ties break by node, deterministically
    for (;;) {
        std::priority_queue<Item, std::vector<Item>, std::greater<>> heap;
        for (int s = 0; s < n; ++s)
            if (weight[s] > 0) heap.push({weight[s], s});
        std::fill(parent.begin(), parent.end(), -1);
        int next = n;
        while (heap.size() > 1) {
            const Item a = heap.top();
            heap.pop();
            const Item b = heap.top();
            heap.pop();
            parent[a.second] = parent[b.second] = next;
            heap.push({a.first + b.first, next++});
        }
        // Parents come after their children, so one pass from the root down sets every depth.
        int longest = 0;
        depth[next - 1] = 0;
        for (int node = next - 2; node >= 0; --node) {
            depth[node] = parent[node] < 0 ? 0 : depth[parent[node]] + 1;
            if (node < n) longest = std::max(longest, depth[node]);
        }
        if (longest <= limit) {
            for (int s = 0; s < n; ++s) lengths[s] = static_cast<uint8_t>(weight[s] > 0 ? depth[s] : 0);
            return;
        }
        for (auto& w : weight)
            if (w > 0) w = (w + 1) / 2;
    }
}

// Canonical codes (RFC 1951, 3.2.2), bit-reversed for the least-significant-bit-first stream.
void canonicalCodes(const uint8_t* lengths, int n, uint16_t* codes) {
    int count[16] = {};
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    int next[16] = {};
    for (int bits = 1, code = 0; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int length = lengths[s];
        if (length == 0) continue;
        unsigned code = static_cast<unsigned>(next[length]++), reversed = 0;
        for (int b = 0; b < length; ++b, code >>= 1) reversed = reversed << 1 | (code & 1);
        codes[s] = static_cast<uint16_t>(reversed);
    }
}

// The bit stream being written, least significant bit first; a plain value so that the hot
// loops keep it in registers. Whole bytes go out with one unaligned 8-byte store, so the
// buffer needs 8 bytes of room beyond what is written.
struct BitSink {
    uint8_t* p = nullptr;
    uint64_t bits = 0;
    int count = 0;  // pending bits, at most 7 between calls

    // n <= 32 bits of value.
    void put(uint64_t value, int n) {
        bits |= value << count;
        count += n;
        uint8_t word[8];
        for (int i = 0; i < 8; ++i) word[i] = static_cast<uint8_t>(bits >> (8 * i));
        std::memcpy(p, word, 8);
        p += count >> 3;
        bits >>= count & ~7;
        count &= 7;
    }
    void alignToByte() {
        if (count > 0) *p++ = static_cast<uint8_t>(bits);
        bits = 0;
        count = 0;
    }
    void bytes(const uint8_t* data, size_t n) {
        if (n > 0) std::memcpy(p, data, n);
        p += n;
    }
};

void storedBlocks(BitSink& out, std::span<const uint8_t> data, bool final) {
    do {
        const size_t n = std::min(data.size(), kStoredMax);
        out.put(final && n == data.size() ? 1 : 0, 3);  // BFINAL, then type 00
        out.alignToByte();
        const uint8_t header[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(~n),
                                   static_cast<uint8_t>(~n >> 8)};
        out.bytes(header, 4);
        out.bytes(data.data(), n);
        data = data.subspan(n);
    } while (!data.empty());
}

// The code lengths of both alphabets as code length symbols: 16 repeats the previous length
// 3-6 times, 17 and 18 give 3-10 and 11-138 zeros. Each alphabet is coded on its own.
void codeLengthTokens(const uint8_t* lengths, int n, std::vector<uint16_t>& tokens, uint32_t* freq) {
    auto add = [&](int symbol, int extra) {
        tokens.push_back(static_cast<uint16_t>(symbol | extra << 5));
        ++freq[symbol];
    };
    for (int i = 0; i < n;) {
        const uint8_t v = lengths[i];
        int run = 1;
        while (i + run < n && lengths[i + run] == v) ++run;
        i += run;
        if (v == 0) {
            for (; run >= 11; run -= std::min(run, 138)) add(18, std::min(run, 138) - 11);
            if (run >= 3) add(17, run - 3), run = 0;
        } else {
            add(v, 0), --run;
            for (; run >= 3; run -= std::min(run, 6)) add(16, std::min(run, 6) - 3);
        }
        for (; run > 0; --run) add(v, 0);
    }
}

constexpr int kCodeLengthExtraBits[kCodeLengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                          0, 0, 0, 0, 0, 0, 2, 3, 7};

// One block of tokens as a dynamic Huffman block, or as stored blocks when that is smaller.
BitSink writeBlock(BitSink out, std::span<const uint8_t> data, const std::vector<uint16_t>& tokens, uint32_t* freq,
                   bool final) {
    freq[kEndOfBlock] = 1;
    uint8_t lengths[kLiteralLengthSymbols];
    codeLengths(freq, kLiteralLengthSymbols, 15, lengths);
    int hlit = kLiteralLengthSymbols;
    while (hlit > 257 && lengths[hlit - 1] == 0) --hlit;
    // Runs all have distance 1: two distance codes of one bit, a complete code.
    static constexpr uint8_t kDistanceLengths[2] = {1, 1};

    std::vector<uint16_t> clTokens;
    uint32_t clFreq[kCodeLengthSymbols] = {};
    codeLengthTokens(lengths, hlit, clTokens, clFreq);
    codeLengthTokens(kDistanceLengths, 2, clTokens, clFreq);
    uint8_t clLengths[kCodeLengthSymbols];
    codeLengths(clFreq, kCodeLengthSymbols, 7, clLengths);
    int hclen = kCodeLengthSymbols;
    while (hclen > 4 && clLengths[kCodeLengthOrder[hclen - 1]] == 0) --hclen;

    uint64_t bits = 3 + 5 + 5 + 4 + 3 * static_cast<uint64_t>(hclen);
    for (uint16_t t : clTokens) bits += clLengths[t & 31] + kCodeLengthExtraBits[t & 31];
    for (int s = 0; s < kLiteralLengthSymbols; ++s) bits += uint64_t(freq[s]) * lengths[s];
    // Each run adds its length's extra bits and the one-bit distance.
    for (int s = 257; s < kLiteralLengthSymbols; ++s) bits += uint64_t(freq[s]) * (kLengthExtraBits[s - 257] + 1u);
    const size_t storedBytes = data.size() + 5 * ((data.size() + kStoredMax - 1) / kStoredMax) + 1;
    if (bits / 8 + 1 >= storedBytes) {
        storedBlocks(out, data, final);
        return out;
    }

    uint16_t codes[kLiteralLengthSymbols] = {};
    canonicalCodes(lengths, kLiteralLengthSymbols, codes);
    uint16_t clCodes[kCodeLengthSymbols] = {};
    canonicalCodes(clLengths, kCodeLengthSymbols, clCodes);
    out.put(final ? 1 : 0, 1);
    out.put(2, 2);  // dynamic Huffman codes
    out.put(static_cast<uint64_t>(hlit - 257), 5);
    out.put(1, 5);  // two distance codes
    out.put(static_cast<uint64_t>(hclen - 4), 4);
    for (int i = 0; i < hclen; ++i) out.put(clLengths[kCodeLengthOrder[i]], 3);
    for (uint16_t t : clTokens) {
        const int symbol = t & 31;
        out.put(clCodes[symbol] | static_cast<uint64_t>(t >> 5) << clLengths[symbol],
                clLengths[symbol] + kCodeLengthExtraBits[symbol]);
    }
    for (uint16_t t : tokens) {
        if (t < kRunBase) {
            out.put(codes[t], lengths[t]);
            continue;
        }
        // Length code, its extra bits, then distance code 0 (a single 0 bit).
        const LengthCode& c = kLengthCodes[t - kRunBase];
        out.put(codes[c.symbol] | static_cast<uint64_t>(c.extra) << lengths[c.symbol],
                lengths[c.symbol] + c.extraBits + 1);
    }
    out.put(codes[kEndOfBlock], lengths[kEndOfBlock]);
    return out;
}

inline bool sameFour(const uint8_t* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word == (word & 0xFFu) * 0x01010101u;
}

}  // namespace

void deflateRuns(std::span<const uint8_t> data, bool last, std::vector<uint8_t>& out) {
    std::vector<uint16_t> tokens;
    deflateRuns(data, last, out, tokens);
}

void deflateRuns(std::span<const uint8_t> data, bool last, std::vector<uint8_t>& out, std::vector<uint16_t>& tokens) {
    size_t used = out.size();
    BitSink sink;
    // Room for bytes more output (and the sink's 8-byte stores).
    auto reserve = [&](size_t bytes) {
        if (out.size() < used + bytes + 16) out.resize(std::max(out.size() * 3 / 2, used + bytes + 16));
        sink.p = out.data() + used;
    };
    tokens.reserve(std::min(data.size(), kBlockBytes));
    size_t begin = 0;
    do {
        const size_t end = std::min(data.size(), begin + kBlockBytes);
        uint32_t freq[kLiteralLengthSymbols] = {};
        tokens.resize(end - begin);
        uint16_t* token = tokens.data();
        // A run needs the previous byte and the next three equal; testing the four together
        // keeps the branch predictable on noisy rows, where two equal bytes are common.
        for (size_t i = begin; i < end;) {
            const uint8_t b = data[i];
            if (i > 0 && i + kMinRun <= end && sameFour(&data[i - 1])) {
                const size_t limit = std::min(kMaxRun, end - i);
                size_t run = kMinRun;
                while (run < limit && data[i + run] == b) ++run;
                *token++ = static_cast<uint16_t>(kRunBase + run);
                ++freq[kLengthCodes[run].symbol];
                i += run;
                continue;
            }
            *token++ = b;
            ++freq[b];
            ++i;
        }
        tokens.resize(static_cast<size_t>(token - tokens.data()));
        reserve(end - begin + 5 * ((end - begin) / kStoredMax + 1) + 64);
        sink = writeBlock(sink, data.subspan(begin, end - begin), tokens, freq, last && end == data.size());
        used = static_cast<size_t>(sink.p - out.data());
        begin = end;
    } while (begin < data.size());
    reserve(8);
    if (!last) sink.put(0, 3);  // an empty stored block, not final: the part ends on a byte boundary
    sink.alignToByte();
    if (!last) {
        const uint8_t empty[4] = {0, 0, 0xFF, 0xFF};
        sink.bytes(empty, 4);
    }
    out.resize(static_cast<size_t>(sink.p - out.data()));
}

}  // namespace murmura
