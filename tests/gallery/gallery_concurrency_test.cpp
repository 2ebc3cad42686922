// Several processes store, rename and delete in one gallery at once: every change of every
// process is in the final catalog, and the image files are exactly those the records name.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>

#include "../test_files.h"
#include "gallery/artwork_finishing.h"

using namespace murmura;
namespace fs = std::filesystem;

namespace {

constexpr int kWorkers = 4, kRounds = 12;

// One process's changes: it stores artworks, names some of its own and deletes others, then
// writes what must remain of them to worker-<n>.txt ("<UUID> <custom name or ->" per line).
int work(const fs::path& base, int worker) {
    auto store = ArtworkStore::open(base);
    auto image = RgbaImage::create(48, 32, ColorSpace::deviceRGB);
    if (!store || !image) return 3;
    const FinishedSession session{300, 0, "worker " + std::to_string(worker), std::nullopt,
                                  {"ink-water", "Ink Water", StyleSeries::traditional}};
    std::map<Uuid, std::string> kept;
    for (int round = 0; round < kRounds; ++round) {
        image->data()[0] = static_cast<uint8_t>(round);
        auto stored = storeFinishedArtwork(*store, *image, session);
        if (!stored) return 1;
        kept[stored->id] = "-";
        if (round % 2 == 1) {
            kept.begin()->second = "w" + std::to_string(worker) + "r" + std::to_string(round);
            if (!store->updateCustomName(kept.begin()->first, kept.begin()->second)) return 1;
        }
        if (round % 3 == 2) {
            if (!store->deleteArtwork(std::prev(kept.end())->first)) return 1;
            kept.erase(std::prev(kept.end()));
        }
    }
    std::ofstream out(base / ("worker-" + std::to_string(worker) + ".txt"));
    for (const auto& [id, name] : kept) out << id.toString() << ' ' << name << '\n';
    return out ? 0 : 1;
}

}  // namespace

TEST(GalleryConcurrency, ProcessesChangingOneGalleryLoseNothingAndLeaveNoOrphan) {
    test::ScratchDirectory dir("gallery-concurrency");
    std::vector<pid_t> pids;
    for (int w = 0; w < kWorkers; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(work(dir.path(), w));
        ASSERT_GT(pid, 0);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "worker status " << status;
    }
    std::map<std::string, std::string> expected;  // id -> custom name or "-"
    for (int w = 0; w < kWorkers; ++w) {
        std::ifstream in(dir / ("worker-" + std::to_string(w) + ".txt"));
        for (std::string id, name; in >> id >> name;) expected[id] = name;
    }
    ASSERT_EQ(expected.size(), size_t(kWorkers * (kRounds - kRounds / 3)));  // each keeps two of every three

    auto store = ArtworkStore::open(dir.path());
    ASSERT_TRUE(store);
    ASSERT_FALSE(store->catalogLoadFailed());
    std::map<std::string, std::string> found;
    std::set<std::string> named, images;
    for (const ArtworkRecord& r : store->records()) {
        found[r.id.toString()] = r.customName.value_or("-");
        named.insert(r.imageFilePath);
    }
    EXPECT_EQ(found, expected);
    for (const auto& entry : fs::directory_iterator(store->artworksDirectory())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(ArtworkStore::kCatalogFileName, 0) != 0) images.insert(name);
    }
    EXPECT_EQ(images, named);  // no orphan, no missing image, no temporary file
}
