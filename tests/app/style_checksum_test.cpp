// Every style's pixels for the bundled session at a small canvas, pinned by checksum, so speed
// work on the renderers, the pipeline and the session reader cannot change a byte unnoticed.
// When a change is meant to alter a picture, update its line here and say why in the commit.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "app/render_pipeline.h"
#include "rendering/style_registry.h"

using namespace murmura;

namespace {
uint64_t fnv1a(const uint8_t* p, size_t n) {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

const std::map<std::string, uint64_t> expected = {
    {"ink-water", 0xfbd734c8b895fd7bull},
    {"charcoal", 0xe7c07fe627eb7517ull},
    {"watercolor", 0xb1d553ae1d5844b6ull},
    {"planara", 0x58f3cfc8b83991dbull},
    {"skeinfall", 0xe2066869d6a6ed34ull},
    {"graffo", 0xbcbf47dbbb96e81aull},
    {"neon", 0x5db168b1f7af9c6dull},
    {"popline", 0x93599b4688d4e08dull},
};
}  // namespace

TEST(StyleChecksums, BundledSessionPixelsAreUnchanged) {
    const auto capture = readSessionFile(MURMURA_SOURCE_DIR "/data/sample-session.json");
    ASSERT_TRUE(capture.hasValue()) << capture.error();
    for (const auto& renderer : allStyleRenderers()) {
        const std::string id = renderer->descriptor().id;
        const auto image = renderCapture(capture.value(), *renderer, CanvasSize{480, 300});
        ASSERT_TRUE(image) << id;
        const uint64_t sum = fnv1a(image->data(), image->byteCount());
        char line[96];
        std::snprintf(line, sizeof line, "{\"%s\", 0x%016llxull}", id.c_str(), static_cast<unsigned long long>(sum));
        const auto it = expected.find(id);
        if (it == expected.end()) ADD_FAILURE() << "no checksum: " << line;
        else EXPECT_EQ(sum, it->second) << "now " << line;
    }
}
