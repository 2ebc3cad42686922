#include "gallery/artwork_finishing.h"

#include <cmath>
#include <filesystem>

#include "support/text.h"

namespace murmura {

Expected<ArtworkRecord, ArtworkStore::StoreError> storeFinishedArtwork(ArtworkStore& store, const RgbaImage& image,
                                                                       const FinishedSession& session,
                                                                       const Clock& clock) {
    ArtworkRecord record;
    record.id = Uuid::random();
    record.imageFilePath = record.id.toString() + ".png";
    if (auto written = store.writeImage(image, store.artworksDirectory() / record.imageFilePath); !written)
        return unexpected(written.error());

    const auto now = std::chrono::duration<double>(clock.wallTime());
    record.creationDate = std::chrono::floor<std::chrono::seconds>(std::chrono::sys_time<std::chrono::duration<double>>(now));
    record.plannedDuration = session.plannedDuration;
    record.actualDuration = session.actualDuration;
    // Window titles come from other programs: keep the catalog valid UTF-8 whatever they hold.
    record.windowName = toValidUtf8(session.windowName);
    record.appName = session.ownerName && !session.ownerName->empty() ? toValidUtf8(*session.ownerName) : "Unknown";
    record.styleName = session.style.name;
    record.styleID = session.style.id;
    if (auto added = store.addArtwork(record); !added) {
        // No image without a record: the artwork is not stored at all.
        std::error_code ignored;
        std::filesystem::remove(store.artworksDirectory() / record.imageFilePath, ignored);
        auto& records = store.records();
        std::erase_if(records, [&](const ArtworkRecord& r) { return r.id == record.id; });
        return unexpected(added.error());
    }
    return record;
}

}  // namespace murmura
