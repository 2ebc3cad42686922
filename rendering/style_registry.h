#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rendering/style_renderer.h"

namespace murmura {

class StyleRegistry {
public:
    // Registers the renderers in list order: a later renderer replaces an earlier one with the
    // same id in the lookup, while both descriptors stay listed. Descriptors are then sorted
    // stably by series raw value, then by name.
    explicit StyleRegistry(std::vector<std::shared_ptr<const StyleRenderer>> styles = {});

    // Exact, case-sensitive lookup; nullptr when unknown.
    std::shared_ptr<const StyleRenderer> renderer(std::string_view id) const;
    const std::vector<StyleDescriptor>& descriptors() const { return descriptors_; }

private:
    std::map<std::string, std::shared_ptr<const StyleRenderer>, std::less<>> renderers_;
    std::vector<StyleDescriptor> descriptors_;
};

// The styles the application offers, in registration order.
std::vector<std::shared_ptr<const StyleRenderer>> defaultStyleRenderers();
// Every implemented style, including those the application does not offer.
std::vector<std::shared_ptr<const StyleRenderer>> allStyleRenderers();

StyleRegistry makeDefaultRegistry();
StyleRegistry makeFullRegistry();

}  // namespace murmura
