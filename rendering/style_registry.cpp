#include "rendering/style_registry.h"

#include <algorithm>

namespace murmura {

std::string_view rawValue(StyleSeries series) {
    return series == StyleSeries::traditional ? "Traditional Media" : "Artist";
}

std::optional<StyleSeries> styleSeriesFromRaw(std::string_view raw) {
    for (StyleSeries s : kAllStyleSeries)
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

Json encode(const StyleDescriptor& d) {
    Json j = Json::object();
    j["id"] = d.id;
    j["name"] = d.name;
    j["series"] = rawValue(d.series);
    return j;
}

Expected<StyleDescriptor, DecodeError> decodeStyleDescriptor(const Json& j) {
    return catchDecode([&] {
        json::requireObject(j);
        StyleDescriptor d;
        d.id = json::string(json::require(j, "id"), "id");
        d.name = json::string(json::require(j, "name"), "name");
        const std::string& series = json::string(json::require(j, "series"), "series");
        auto s = styleSeriesFromRaw(series);
        if (!s) json::fail("series", "unknown style series \"" + series.substr(0, 64) + "\"");
        d.series = *s;
        return d;
    });
}

StyleRegistry::StyleRegistry(std::vector<std::shared_ptr<const StyleRenderer>> styles) {
    for (auto& renderer : styles) {
        if (!renderer) continue;
        const StyleDescriptor& d = renderer->descriptor();
        descriptors_.push_back(d);
        renderers_.insert_or_assign(d.id, std::move(renderer));
    }
    // std::string compares bytes; for UTF-8 that is the order of Unicode scalar values.
    std::stable_sort(descriptors_.begin(), descriptors_.end(), [](const StyleDescriptor& a, const StyleDescriptor& b) {
        const auto sa = rawValue(a.series), sb = rawValue(b.series);
        if (sa != sb) return sa < sb;
        return a.name < b.name;
    });
}

std::shared_ptr<const StyleRenderer> StyleRegistry::renderer(std::string_view id) const {
    auto it = renderers_.find(id);
    return it == renderers_.end() ? nullptr : it->second;
}

StyleRegistry makeDefaultRegistry() { return StyleRegistry(defaultStyleRenderers()); }
StyleRegistry makeFullRegistry() { return StyleRegistry(allStyleRenderers()); }

}  // namespace murmura
