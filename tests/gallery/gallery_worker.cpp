// A process that changes one gallery many times, for the concurrency test: it stores artworks,
// renames and deletes its own, then writes what must remain of them to <base>/worker-<n>.txt,
// one line per kept artwork: "<UUID> <custom name or ->".
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "gallery/artwork_finishing.h"

using namespace murmura;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gallery_worker BASE WORKER ROUNDS\n");
        return 2;
    }
    const std::string base = argv[1];
    const int worker = std::stoi(argv[2]);
    const int rounds = std::stoi(argv[3]);
    auto store = ArtworkStore::open(base);
    if (!store) return 3;
    auto image = RgbaImage::create(48, 32, ColorSpace::deviceRGB);
    FinishedSession session;
    session.plannedDuration = 300;
    session.windowName = "worker " + std::to_string(worker);
    session.style = StyleDescriptor{"ink-water", "Ink Water", StyleSeries::traditional};
    std::map<Uuid, std::string> kept;  // the artworks of this worker and their names
    for (int round = 0; round < rounds; ++round) {
        image->data()[0] = static_cast<uint8_t>(round);
        auto stored = storeFinishedArtwork(*store, *image, session);
        if (!stored) {
            std::fprintf(stderr, "store: %s\n", stored.error().message().c_str());
            return 1;
        }
        kept[stored->id] = "-";
        if (round % 2 == 1) {
            const std::string name = "w" + std::to_string(worker) + "r" + std::to_string(round);
            if (!store->updateCustomName(kept.begin()->first, name)) return 1;
            kept.begin()->second = name;
        }
        if (round % 3 == 2) {
            if (!store->deleteArtwork(std::prev(kept.end())->first)) return 1;
            kept.erase(std::prev(kept.end()));
        }
    }
    std::ofstream out(base + "/worker-" + std::to_string(worker) + ".txt");
    for (const auto& [id, name] : kept) out << id.toString() << ' ' << name << '\n';
    return out ? 0 : 1;
}
