// The table of styles. Each style registers here, in the order the application offers them.
#include "rendering/style_registry.h"
#include "rendering/styles/ink_water.h"
#include "rendering/styles/watercolor.h"

namespace murmura {

std::vector<std::shared_ptr<const StyleRenderer>> defaultStyleRenderers() {
    std::vector<std::shared_ptr<const StyleRenderer>> styles;
    styles.push_back(std::make_shared<InkWaterRenderer>());
    styles.push_back(std::make_shared<WatercolorRenderer>());
    return styles;
}

std::vector<std::shared_ptr<const StyleRenderer>> allStyleRenderers() {
    auto styles = defaultStyleRenderers();
    return styles;
}

}  // namespace murmura
