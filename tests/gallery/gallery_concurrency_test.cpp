#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gallery/artwork_store.h"
#include "../test_files.h"

using namespace murmura;
namespace fs = std::filesystem;

extern char** environ;

// Several processes store, rename and delete in one gallery at once: every change of every
// process is in the final catalog, and the image files are exactly those the records name.
TEST(GalleryConcurrency, ProcessesChangingOneGalleryLoseNothingAndLeaveNoOrphan) {
    test::ScratchDirectory dir("gallery-concurrency");
    constexpr int kWorkers = 4;
    constexpr int kRounds = 12;
    std::vector<pid_t> pids;
    for (int w = 0; w < kWorkers; ++w) {
        const std::string base = dir.path().string(), worker = std::to_string(w), rounds = std::to_string(kRounds);
        char* argv[] = {const_cast<char*>(GALLERY_WORKER), const_cast<char*>(base.c_str()),
                        const_cast<char*>(worker.c_str()), const_cast<char*>(rounds.c_str()), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, GALLERY_WORKER, nullptr, nullptr, argv, environ), 0);
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
        std::string id, name;
        while (in >> id >> name) expected[id] = name;
    }
    // Each worker keeps rounds - rounds / 3 of its artworks.
    ASSERT_EQ(expected.size(), size_t(kWorkers * (kRounds - kRounds / 3)));

    auto store = ArtworkStore::open(dir.path());
    ASSERT_TRUE(store);
    ASSERT_FALSE(store->catalogLoadFailed());
    std::map<std::string, std::string> found;
    std::set<std::string> named;
    for (const ArtworkRecord& r : store->records()) {
        found[r.id.toString()] = r.customName.value_or("-");
        named.insert(r.imageFilePath);
    }
    EXPECT_EQ(found, expected);
    std::set<std::string> images;
    for (const auto& entry : fs::directory_iterator(store->artworksDirectory())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(ArtworkStore::kCatalogFileName, 0) != 0) images.insert(name);
    }
    EXPECT_EQ(images, named);  // no orphan, no missing image, no temporary file
}
