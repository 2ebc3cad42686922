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
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

const std::map<std::string, uint64_t> expected = {
    {"ink-water", 0x7cb41c2ff51fdb75ull},
    {"charcoal", 0x20fc2dd117c5ccb5ull},
    {"watercolor", 0xd9c037be92ec90b8ull},
    {"planara", 0xa01c7f745547b80dull},
    {"skeinfall", 0x59fc53ab3fcbc27eull},
    {"graffo", 0x83be79d998984c13ull},
    {"neon", 0x0babdcfef75b74e3ull},
    {"popline", 0x00d7e9676980b6cfull},
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
