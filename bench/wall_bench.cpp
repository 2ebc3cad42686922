// The gallery wall with hundreds of 4K artworks: time to the wall's first paint, time until the
// pictures in view have their images, the cost of a repaint while the row moves, and the
// process's memory after opening and after visiting every picture.
//   wall_bench [COUNT]   (default 300; offscreen unless QT_QPA_PLATFORM says otherwise)
// The artworks are flat-coloured 3840 x 2160 PNGs (quick to write, full size to decode).
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <ctime>

#include <sys/wait.h>
#include <unistd.h>

#include "app/app_state.h"
#include "app/ui/content_view.h"
#include "app/ui/qt_scheduler.h"
#include "app/ui/screens/wall_view.h"
#include "support/clock.h"

using namespace murmura;

namespace {

// Resident and peak resident memory of this process in MiB.
std::pair<double, double> memoryMiB() {
    std::ifstream status("/proc/self/status");
    double rss = 0, peak = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::stod(line.substr(6)) / 1024;
        if (line.rfind("VmHWM:", 0) == 0) peak = std::stod(line.substr(6)) / 1024;
    }
    return {rss, peak};
}

void fillGallery(const std::filesystem::path& base, int count) {
    auto store = ArtworkStore::open(base);
    if (!store) throw std::runtime_error(store.error().message());
    // A dozen distinct images, copied: writing 300 4K PNGs would dominate the run.
    std::vector<std::filesystem::path> sources;
    for (int k = 0; k < 12; ++k) {
        auto image = RgbaImage::create(3840, 2160, ColorSpace::deviceRGB);
        for (int64_t y = 0; y < image->height(); ++y)
            for (int64_t x = 0; x < image->width(); ++x) {
                uint8_t* p = image->pixel(x, y);
                const bool band = (y / 270 + k) % 3 == 0;
                p[0] = uint8_t(40 + 17 * k), p[1] = uint8_t(band ? 200 : 90 + 9 * k), p[2] = uint8_t(160 - 11 * k), p[3] = 255;
            }
        sources.push_back(base / ("source-" + std::to_string(k) + ".png"));
        if (!store->writeImage(*image, sources.back())) throw std::runtime_error("cannot write a PNG");
    }
    std::vector<ArtworkRecord> records;
    for (int i = 0; i < count; ++i) {
        ArtworkRecord r;
        r.id = Uuid::random();
        r.imageFilePath = r.id.toString() + ".png";
        r.creationDate = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
        r.plannedDuration = r.actualDuration = 300;
        r.windowName = "Editor — notes.txt";
        r.appName = "Editor";
        r.styleName = r.styleID = "graffo";
        r.customName = "Artwork " + std::to_string(i + 1);
        std::filesystem::copy_file(sources[size_t(i) % sources.size()], store->artworksDirectory() / r.imageFilePath);
        records.push_back(std::move(r));
    }
    const auto added = store->changeCatalog([&](std::vector<ArtworkRecord>& list) -> Expected<void, ArtworkStore::StoreError> {
        list.insert(list.end(), records.begin(), records.end());
        return {};
    });
    if (!added) throw std::runtime_error(added.error().message());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    const auto base = std::filesystem::temp_directory_path() / ("murmura-wall-bench-" + std::to_string(::getpid()));
    std::printf("writing %d artworks of 3840 x 2160 ...\n", count);
    std::fflush(stdout);
    // In a child process, so that the images made here do not count in this one's peak memory.
    if (const pid_t child = fork(); child == 0) {
        fillGallery(base, count);
        std::_Exit(0);
    } else if (int status = 0; child < 0 || waitpid(child, &status, 0) != child || status != 0) {
        std::fprintf(stderr, "wall_bench: could not write the gallery\n");
        return 1;
    }

    QApplication app(argc, argv);
    ui::ContentView window;
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
    ui::QtScheduler scheduler;
    ThreadRenderExecutor executor;
    MemoryPreferences preferences;
    preferences.setBoolValue(Preferences::hasCompletedOnboarding, true);
    const auto before = memoryMiB();

    // Start-up to the first paint: the state opens the gallery and shows the wall.
    QElapsedTimer clock;
    clock.start();
    AppState state(AppEnvironment{scheduler, SystemClock::shared(), preferences, window, executor, [] { return true; }, {}, base});
    ui::UiServices services{state, scheduler, {}, {}, false};
    window.attach(services);
    auto* wall = static_cast<ui::WallView*>(window.currentScreen()->findChild<QWidget*>("galleryWall"));
    wall->repaint();
    const double firstPaint = clock.nsecsElapsed() / 1e6;
    // Until the pictures in view (and their next neighbours) have their display copies.
    (void)QTest::qWaitFor([&] { return wall->settled(); }, 5000);
    QTest::qWait(20);
    while (wall->loadingImages()) QTest::qWait(5);
    const double imagesShown = clock.nsecsElapsed() / 1e6;
    const auto opened = memoryMiB();

    // Along the whole row, one picture at a time, timing each repaint: once at once (the new
    // pictures' images still decoding, as while the row moves) and once their images are in.
    // Processor time of this thread too: the wall-clock figures suffer from a busy machine.
    double paintMs = 0, worstPaintMs = 0, loadedMs = 0, worstLoadedMs = 0, cpuMs = 0;
    int paints = 0;
    const auto threadMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    };
    const auto timedRepaint = [&](double& sum, double& worst) {
        QElapsedTimer t;
        t.start();
        const double cpu = threadMs();
        wall->repaint();
        const double ms = t.nsecsElapsed() / 1e6;
        sum += ms, worst = std::max(worst, ms), cpuMs += threadMs() - cpu;
    };
    for (int i = wall->focus() - 1; i >= 0; --i, ++paints) {
        wall->focusOn(i, false, false);
        timedRepaint(paintMs, worstPaintMs);
        while (wall->loadingImages()) QTest::qWait(2);
        timedRepaint(loadedMs, worstLoadedMs);
    }
    const auto visited = memoryMiB();

    std::printf("artworks                         %d (3840 x 2160 PNG)\n", count);
    std::printf("first paint of the wall          %.1f ms (state, catalog, screen, paint)\n", firstPaint);
    std::printf("pictures in view with images     %.1f ms\n", imagesShown);
    std::printf("repaint, images decoding         %.2f ms mean, %.2f ms worst (%d)\n", paintMs / std::max(1, paints),
                worstPaintMs, paints);
    std::printf("repaint, images in               %.2f ms mean, %.2f ms worst\n", loadedMs / std::max(1, paints),
                worstLoadedMs);
    std::printf("repaint processor time           %.2f ms mean\n", cpuMs / std::max(1, 2 * paints));
    std::printf("memory before the gallery        %.0f MiB resident\n", before.first);
    std::printf("memory with the wall open        %.0f MiB resident, %.0f MiB peak\n", opened.first, opened.second);
    std::printf("memory after visiting every one  %.0f MiB resident, %.0f MiB peak\n", visited.first, visited.second);
    std::filesystem::remove_all(base);
    return 0;
}
