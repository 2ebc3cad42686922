// The table of styles. Each style registers here, in the order the application offers them.
#include "rendering/style_registry.h"

namespace murmura {

std::vector<std::shared_ptr<const StyleRenderer>> defaultStyleRenderers() {
    std::vector<std::shared_ptr<const StyleRenderer>> styles;
    return styles;
}

std::vector<std::shared_ptr<const StyleRenderer>> allStyleRenderers() {
    auto styles = defaultStyleRenderers();
    return styles;
}

}  // namespace murmura
