#pragma once
// Graffo: the session as loose pencil-and-crayon handwriting on warm paper. Scrawls, knots,
// bursts and ticks (see graffo_extraction.h) are drawn layer by layer; older layers fade
// towards the paper.
#include <cstdint>
#include <map>
#include <optional>
#include <span>

#include "rendering/canvas.h"
#include "rendering/style_renderer.h"
#include "rendering/styles/graffo_extraction.h"

namespace murmura {

namespace graffo {

struct LayerStatus {
    enum class Kind { archive, active, recent };
    Kind kind = Kind::recent;
    double fade = 1;  // archive only: 0.24 (faint) to 0.62
    friend bool operator==(const LayerStatus&, const LayerStatus&) = default;
};

enum class MarkKind { scrawl, knot, burst, tick };

// The colour (alpha unused) and base alpha of a mark of pigment c in a layer of the given
// status. drag: a scrawl made with the button down.
struct Ink {
    Rgba color;
    double alpha = 1;
};
Ink statusInk(Pigment c, const LayerStatus& status, MarkKind kind, bool drag = false);

// The latest layer is active, layers whose last mark lies within 90 s of the end recent, the
// rest archived with a fade that deepens with age and with the delete fade.
std::map<int64_t, LayerStatus> layerStatuses(const std::map<int64_t, LayerTimes>& layers, double endTime,
                                             double deleteFade);

// Number of crayon passes of a scrawl: 4 near the canvas centre down to 2 near the corners.
int scrawlPassCount(std::span<const Point> points, double logicalWidth, double logicalHeight);

// Writes the paper background (warm colour, grain and faint fibres) into every pixel.
void paintPaper(Canvas& canvas, double silentRatio);

// The capsule rasteriser (capsule_raster.h) draws the marks several times faster than Cairo;
// their antialiased edges differ by a few levels, and a fully covered pixel composites alike.
enum class Rasteriser { capsule, cairo };

// How the marks are drawn. The defaults are the style; other values exist for tests and
// measurements.
struct DrawingOptions {
    // Height of the bands drawn in parallel. The capsule rasteriser's bytes do not depend on
    // it; Cairo's antialiasing differs by a level here and there with the band layout, so it is
    // fixed: every machine gives the same bytes.
    int64_t bandRows = kCanvasBandRows;
    // Skipping marks that miss a band never changes a pixel; off only to check that.
    bool culling = true;
    Rasteriser rasteriser = Rasteriser::capsule;
};

// Pixels per logical unit: the canvas's shorter side is 1080 logical units.
double canvasScale(int64_t width, int64_t height);

// Draws the extracted marks over the canvas, layer by layer, at k pixels per logical unit.
// False when the canvas could not be split into bands.
bool drawMarks(Canvas& canvas, const Extraction& extraction, double k, const DrawingOptions& options = {});

}  // namespace graffo

class GraffoRenderer final : public StyleRenderer {
public:
    using Pigment = graffo::Pigment;
    using Element = graffo::Element;
    using LayerStatus = graffo::LayerStatus;

    using DrawingOptions = graffo::DrawingOptions;

    GraffoRenderer() : GraffoRenderer(DrawingOptions{}) {}
    explicit GraffoRenderer(DrawingOptions options);

    const StyleDescriptor& descriptor() const override { return descriptor_; }
    std::optional<RgbaImage> render(const MaterialEngineOutput& output, int64_t width,
                                    int64_t height) const override;

private:
    StyleDescriptor descriptor_;
    DrawingOptions options_;
};

}  // namespace murmura
