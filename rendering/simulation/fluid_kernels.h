#pragma once
// The kernels of the fluid simulation (the splat in compute_splat.h). Every kernel computes each texel of its output
// from bilinear reads of its inputs at normalised coordinates (compute.h); uv is the output
// texel's centre and t = (1 / output width, 1 / output height), so L, R, B, T are the
// neighbours uv -/+ (t.x, 0) and uv -/+ (0, t.y).
//
// The functions in namespace fluid run fast paths (direct reads where the read falls on texel
// centres, separable reads, vectorised rows, both cores) and fall back to the per-texel form
// when inputs have sizes the fast path does not cover. The per-texel forms, in namespace
// fluid::reference, read every input through Field::sample exactly as the formulas are written;
// both give the same bits.
#include <array>

#include "rendering/simulation/compute.h"
#include "rendering/simulation/compute_splat.h"

namespace murmura::fluid {

using compute::DisplayField;
using compute::Field;
using compute::Workspace;
// The shared deposit under the names the fluid simulation uses.
using compute::applySplats;
using compute::isValid;
using compute::kSplat;
using compute::Rgb;
using compute::SplatPass;

// The noise lattices the display kernels read.
struct InkDisplayNoise {
    const gen::ValueNoiseLattice& fine;    // 420
    const gen::ValueNoiseLattice& medium;  // 180
    const gen::ValueNoiseLattice& coarse;  // 60
};
struct WatercolorDisplayNoise {
    const gen::ValueNoiseLattice& granulation;  // 150
    const gen::ValueNoiseLattice& fine;         // 430
    const gen::ValueNoiseLattice& medium;       // 170
};

struct WatercolorDisplayParams {
    Rgb paper{};
    float edgeDarken = 0;
    float granulate = 0;
    float absorbCap = 0;
};

// k_zero: (0, 0, 0, 0).
void kZero(Field& out);
// k_advect: src at uv - dt * vel(uv).xy * t, divided by 1 + dissipation * dt, all channels.
void kAdvect(const Field& vel, const Field& src, Field& out, float dt, float dissipation, Workspace& ws);
// k_advect of a velocity field by itself into out, through `texels` (a texel field of the same
// size, used as scratch).
void kAdvectVelocity(const Field& vel, Field& out, compute::TexelField& texels, float dt, float dissipation,
                     Workspace& ws);
// k_curl: 0.5 * (R.y - L.y - T.x + B.x).
void kCurl(const Field& vel, Field& out, Workspace& ws);
// k_vorticity: confinement force from |curl| differences, second component negated, clamped.
void kVorticity(const Field& vel, const Field& curl, Field& out, float curlStrength, float dt, Workspace& ws);
// k_divergence: 0.5 * (R.x - L.x + T.y - B.y) with reflective edges.
void kDivergence(const Field& vel, Field& out, Workspace& ws);
// k_clear: value * src, all channels.
void kClear(const Field& src, Field& out, float value, Workspace& ws);
// k_pressure: one Jacobi iteration, (L + R + B + T - div) / 4.
void kPressure(const Field& press, const Field& dvrg, Field& out, Workspace& ws);
// `iterations` times k_pressure from prs.read and dvrg into prs.write followed by an exchange.
void kPressureIterations(compute::FieldPair& prs, const Field& dvrg, int64_t iterations, Workspace& ws);
// k_gradient: vel.xy - (R - L, T - B) of the pressure.
void kGradient(const Field& press, const Field& vel, Field& out, Workspace& ws);
// k_display: paper * exp(-absorbance) with fibre and vignette.
void kDisplay(const compute::TexelField& dye, DisplayField& out, const Rgb& paper, const InkDisplayNoise& noise,
              Workspace& ws);
// k_diffuse: c + k * laplacian, all channels.
void kDiffuse(const Field& src, Field& out, float k, Workspace& ws);
// k_advect of the dye from dye.read followed by `iterations` k_diffuse passes, each pass's
// output read by the next; the result ends in dye.read. The passes run in sweeps of up to four:
// within a sweep the values between passes are full floats (a field of floats), and only each
// sweep's result is stored in halves.
void kAdvectDiffuse(const Field& vel, compute::TexelFieldPair& dye, float dt, float dissipation, float k,
                    int64_t iterations, Workspace& ws);
// k_display_wc: water-mark rims, granulation, saturation cap, fibre and vignette.
void kDisplayWc(const compute::TexelField& dye, DisplayField& out, const WatercolorDisplayParams& params,
                const WatercolorDisplayNoise& noise, Workspace& ws);

namespace reference {
using compute::reference::kSplat;
void kAdvect(const Field& vel, const Field& src, Field& out, float dt, float dissipation, Workspace& ws);
void kCurl(const Field& vel, Field& out, Workspace& ws);
void kVorticity(const Field& vel, const Field& curl, Field& out, float curlStrength, float dt, Workspace& ws);
void kDivergence(const Field& vel, Field& out, Workspace& ws);
void kClear(const Field& src, Field& out, float value, Workspace& ws);
void kPressure(const Field& press, const Field& dvrg, Field& out, Workspace& ws);
void kGradient(const Field& press, const Field& vel, Field& out, Workspace& ws);
void kDisplay(const Field& dye, DisplayField& out, const Rgb& paper, Workspace& ws);
void kDiffuse(const Field& src, Field& out, float k, Workspace& ws);
// kAdvectDiffuse on plane-backed fields, texel by texel.
void kAdvectDiffuse(const Field& vel, compute::FieldPair& dye, float dt, float dissipation, float k, int64_t iterations,
                    Workspace& ws);
void kDisplayWc(const Field& dye, DisplayField& out, const WatercolorDisplayParams& params, Workspace& ws);
}  // namespace reference

}  // namespace murmura::fluid
