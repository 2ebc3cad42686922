// The table of styles. Each style registers here, in the order the application offers them:
// ink-water, charcoal, watercolor, planara, skeinfall, graffo, neon.
#include <memory>

#include "rendering/style_registry.h"
#include "rendering/styles/fluid_styles.h"
#include "rendering/styles/graffo.h"
#include "rendering/styles/planara.h"

namespace murmura {

std::vector<std::shared_ptr<const StyleRenderer>> defaultStyleRenderers() {
    return {
        std::make_shared<FluidReplayRenderer>(inkWaterStyle()),
        std::make_shared<FluidReplayRenderer>(watercolorStyle()),
        std::make_shared<PlanaraRenderer>(),
        std::make_shared<GraffoRenderer>(),
    };
}

std::vector<std::shared_ptr<const StyleRenderer>> allStyleRenderers() {
    auto styles = defaultStyleRenderers();
    return styles;
}

}  // namespace murmura
