#pragma once
// The last steps of a session: store its image and catalog record. Shared by the application
// and murmura-cli so that both store artworks the same way.
#include <optional>
#include <string>

#include "gallery/artwork_store.h"
#include "rendering/style_renderer.h"
#include "support/clock.h"

namespace murmura {

// What is known about a finished session besides its image.
struct FinishedSession {
    double plannedDuration = 0;            // seconds of the chosen session length
    double actualDuration = 0;             // measured elapsed seconds
    std::string windowName;                // the window descriptor's display name
    std::optional<std::string> ownerName;  // the window's owner application, if known
    StyleDescriptor style;                 // the renderer's descriptor
};

// Writes the image as "<UUID>.png" (a fresh UUID, upper case) into the artworks directory,
// appends its record (creation date = the clock's wall time, appName = the owner name or
// "Unknown", no custom name) and adds it to the catalog (ArtworkStore::addArtwork). Returns the
// record, or the error: an image that cannot be written adds no record, and a record that
// cannot be saved takes its image away again, so that no image is left that no record names.
// Callers report failures as "Failed to save artwork: " + the error's message.
Expected<ArtworkRecord, ArtworkStore::StoreError> storeFinishedArtwork(ArtworkStore& store, const RgbaImage& image,
                                                                       const FinishedSession& session,
                                                                       const Clock& clock = SystemClock::shared());

}  // namespace murmura
