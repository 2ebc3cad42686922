// The dye budget of the fluid styles, session by session: the dye the splats would deposit
// (mean absorbance over the canvas), the factor the budget scales it by, and the share of the
// canvas where paper shows (luminance at least 80 % of the paper's) in the render.
//
//   fluid_budget [--style ID] [--ink-water A] [--watercolor A] [--png DIR] SESSION.json... [--synth MINUTES:SEED]...
//
// --style renders one style only; --ink-water and --watercolor try another budget; --png writes each render there, a quarter of
// its size on each side (4 x 4 box average), for looking at.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/render_pipeline.h"
#include "rendering/png_io.h"
#include "rendering/styles/fluid_styles.h"
#include "session/synthetic_session.h"

using namespace murmura;

namespace {

double luma(double r, double g, double b) { return 0.2126 * r + 0.7152 * g + 0.0722 * b; }

double paperShare(const RgbaImage& image, const Rgb& paper) {
    const double threshold = 0.8 * 255.0 * luma(paper[0], paper[1], paper[2]);
    int64_t n = 0;
    for (int64_t y = 0; y < image.height(); ++y)
        for (int64_t x = 0; x < image.width(); ++x) {
            const uint8_t* p = image.pixel(x, y);
            n += luma(p[0], p[1], p[2]) >= threshold;
        }
    return double(n) / double(image.width() * image.height());
}

RgbaImage quarter(const RgbaImage& image) {
    RgbaImage small = *RgbaImage::create(image.width() / 4, image.height() / 4, image.colorSpace());
    for (int64_t y = 0; y < small.height(); ++y)
        for (int64_t x = 0; x < small.width(); ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 4; ++dy)
                    for (int dx = 0; dx < 4; ++dx) sum += image.pixel(4 * x + dx, 4 * y + dy)[c];
                small.pixel(x, y)[c] = static_cast<uint8_t>((sum + 8) / 16);
            }
    return small;
}

struct Session {
    std::string name;
    CaptureResult capture;
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<FluidStyleDefinition> styles = {inkWaterStyle(), watercolorStyle()};
    std::vector<Session> sessions;
    std::string pngDir, only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--ink-water" && hasValue) {
            styles[0].dyeBudget = std::atof(argv[++i]);
        } else if (arg == "--watercolor" && hasValue) {
            styles[1].dyeBudget = std::atof(argv[++i]);
        } else if (arg == "--style" && hasValue) {
            only = argv[++i];
        } else if (arg == "--png" && hasValue) {
            pngDir = argv[++i];
        } else if (arg == "--synth" && hasValue) {
            const std::string minutesAndSeed = argv[++i];
            SynthOptions o;
            o.minutes = std::atof(minutesAndSeed.c_str());
            o.seed = std::strtoull(minutesAndSeed.substr(minutesAndSeed.find(':') + 1).c_str(), nullptr, 10);
            sessions.push_back({"synth " + minutesAndSeed, synthesizeSession(o)});
        } else {
            auto capture = readSessionFile(arg);
            if (!capture) {
                std::fprintf(stderr, "%s: %s\n", arg.c_str(), capture.error().c_str());
                return 1;
            }
            sessions.push_back({arg.substr(arg.find_last_of('/') + 1), std::move(capture).value()});
        }
    }
    std::printf("%-11s %-22s %11s %8s %8s %7s\n", "style", "session", "canvas", "deposit", "factor", "paper");
    for (const Session& session : sessions) {
        const MaterialEngineOutput material = materialize(session.capture);
        const CanvasSize canvas = canvasSize(session.capture.windowFrame);
        for (const FluidStyleDefinition& style : styles) {
            if (!only.empty() && style.descriptor.id != only) continue;
            const FluidReplayRenderer renderer(style);
            DyeBudgetUse use;
            renderer.budgetedSchedule(material.segments, canvas.width, canvas.height, &use);
            const auto image = renderer.render(material, canvas.width, canvas.height);
            if (!image) {
                std::fprintf(stderr, "%s: no image\n", session.name.c_str());
                return 1;
            }
            std::printf("%-11s %-22s %5lldx%-5lld %8.3f %8.4f %6.1f%%\n", style.descriptor.id.c_str(),
                        session.name.c_str(), static_cast<long long>(canvas.width),
                        static_cast<long long>(canvas.height), use.deposit, use.factor,
                        100.0 * paperShare(*image, style.fluid.paper));
            std::fflush(stdout);
            if (!pngDir.empty()) {
                std::string file = session.name + "." + style.descriptor.id + ".png";
                for (char& c : file) c = (c == ' ' || c == ':') ? '_' : c;
                if (auto written = writePngFile(quarter(*image), pngDir + "/" + file); !written)
                    std::fprintf(stderr, "%s\n", written.error().c_str());
            }
        }
    }
    return 0;
}
