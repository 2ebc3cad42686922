#pragma once
// The parsers under fuzzing, each as one function of an input. They check properties beyond
// "does not crash" and abort with a message when one fails; the libFuzzer entries and the
// regression test (which replays the kept inputs) both call them.
#include <cstdint>
#include <span>

namespace murmura::fuzz {

// Session files: the streaming file reader and the in-memory decoder agree.
void sessionFile(std::span<const uint8_t> input);
// The catalog: whatever decodes is written back, and that text reads back to itself.
void catalog(std::span<const uint8_t> input);
// PNG decoding: whatever decodes is within the image bounds and encodes again.
void pngImage(std::span<const uint8_t> input);

}  // namespace murmura::fuzz
