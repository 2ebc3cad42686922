#pragma once
// A fast deflate encoder for filtered PNG rows: literals and runs (matches at distance 1, as
// zlib's run-length strategy finds them) under dynamic Huffman codes, with a 64-bit bit buffer.
// Filtered artwork is mostly literals, where zlib spends its time tallying and emitting symbols
// bit by bit; this encoder does the same work several times faster. Its output is raw deflate
// (RFC 1951) with complete codes only, so every inflater reads it.
#include <cstdint>
#include <span>
#include <vector>

namespace murmura {

// Appends data to out as deflate blocks. When last, the last block is final and the stream
// ends (padded to a byte); otherwise the blocks end with an empty stored block, as zlib's sync
// flush does, so that the next part can follow on a byte boundary in the same stream. Parts
// never refer back into earlier parts, so they can be compressed independently.
void deflateRuns(std::span<const uint8_t> data, bool last, std::vector<uint8_t>& out);
// The same with the caller's token buffer, kept between calls.
void deflateRuns(std::span<const uint8_t> data, bool last, std::vector<uint8_t>& out, std::vector<uint16_t>& tokens);

}  // namespace murmura
