#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#include "convolve.h"
#include "test_support.h"

namespace {

using Kernel = void (*)(BandFrame*, const float*, const float*, uint32_t);

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

void SetClampLimits(float f)
{
    for (int i = 0; i < 4; ++i) {
        ClampLimits.upper[i] = f;
        ClampLimits.lower[i] = -f;
    }
}

// A zeroed window of stored frames at an even or odd store index, and a
// zeroed tap table, in 32-byte aligned blocks like the filter's.
struct Window {
    Window(uint32_t taps, uint32_t first_frame)
        : store(MakeAlignedFloats(2 * (taps + 2))), table(MakeAlignedFloats(4 * (taps + 1))),
          frames(store.get() + 2 * first_frame), n(taps)
    {
    }
    void Randomise(unsigned seed)
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (uint32_t j = 0; j < n; ++j) {
            x(j, 0) = value(rng);
            x(j, 1) = value(rng);
            for (int b = 0; b < 3; ++b)
                t(j, b) = value(rng);
        }
    }
    float& x(uint32_t j, int ch) { return frames[2 * j + ch]; }
    float& t(uint32_t j, int band) { return table[4 * j + band]; }
    BandFrame Run(Kernel kernel)
    {
        BandFrame out;
        std::memset(&out, 0xA5, sizeof(out)); // every slot must be written
        kernel(&out, frames, table.get(), n);
        return out;
    }

    AlignedFloats store;
    AlignedFloats table;
    float* frames;
    uint32_t n;
};

// The slots' bit patterns: equal exactly when two results are bit-identical.
std::array<uint32_t, 8> Bits(const BandFrame& f)
{
    return std::bit_cast<std::array<uint32_t, 8>>(f);
}

class KernelAgreement : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(KernelAgreement, SseIsBitIdenticalToTheReferenceAndCloseToTheExactSum)
{
    const auto [n, first_frame] = GetParam();
    SetClampLimits(FLT_MAX);
    Window w(n, first_frame);
    w.Randomise(1000 * n + first_frame);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(w.frames) % 16, 8u * first_frame);

    BandFrame sse = w.Run(ConvolveBands);
    EXPECT_EQ(Bits(sse), Bits(w.Run(ConvolveBandsReference)));

    // Against a plain left-to-right sum in double precision: within the
    // error bound of an N-term single-precision dot product.
    const double u = std::ldexp(1.0, -24);
    const double gamma = (n + 1) * u / (1 - (n + 1) * u);
    double peak = 0.0;
    for (int band = 0; band < 3; ++band) {
        for (int ch = 0; ch < 2; ++ch) {
            double exact = 0.0, magnitude = 0.0;
            for (uint32_t j = 0; j < n; ++j) {
                exact += static_cast<double>(w.t(j, band)) * w.x(j, ch);
                magnitude += std::fabs(static_cast<double>(w.t(j, band)) * w.x(j, ch));
            }
            EXPECT_NEAR(sse.v[2 * band + ch], exact, gamma * magnitude)
                << "band " << band << " ch " << ch;
            peak = std::max(peak, std::fabs(static_cast<double>(sse.v[2 * band + ch])));
        }
    }
    EXPECT_EQ(sse.v[6], static_cast<float>(peak));
    EXPECT_EQ(sse.v[7], sse.v[6]);

    // Sums that are not numbers (and infinite ones) agree as well.
    if (n > 0) {
        w.x(n / 2, 1) = std::numeric_limits<float>::infinity();
        w.x(n - 1, 0) = kNaN;
        EXPECT_EQ(Bits(w.Run(ConvolveBands)), Bits(w.Run(ConvolveBandsReference)));
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, KernelAgreement,
                         ::testing::Combine(::testing::Values(0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u,
                                                              255u, 1024u),
                                            ::testing::Values(0u, 1u)),
                         [](const auto& info) {
                             std::string name = "N";
                             name += std::to_string(std::get<0>(info.param));
                             return name + (std::get<1>(info.param) ? "_OddFrame" : "_EvenFrame");
                         });

// The properties below hold for both versions.
class KernelProperty : public ::testing::TestWithParam<std::tuple<Kernel, uint32_t>> {};

TEST_P(KernelProperty, ImpulseTapPicksItsFrameInFileOrderOldestFirst)
{
    const auto [kernel, first_frame] = GetParam();
    SetClampLimits(FLT_MAX);
    for (uint32_t k : {0u, 8u, 16u}) {
        Window w(17, first_frame);
        w.Randomise(7);
        for (uint32_t j = 0; j < 17; ++j)
            for (int b = 0; b < 3; ++b)
                w.t(j, b) = j == k ? (b == 0 ? 0.5f : b == 1 ? -2.0f : 3.0f) : 0.0f;
        BandFrame out = w.Run(kernel);
        const float gains[3] = {0.5f, -2.0f, 3.0f};
        for (int slot = 0; slot < 6; ++slot)
            EXPECT_EQ(out.v[slot], gains[slot / 2] * w.x(k, slot % 2))
                << "k " << k << " slot " << slot;
    }
}

TEST_P(KernelProperty, SumsAreClampedToFullScaleAndThePeakIsTakenBefore)
{
    const auto [kernel, first_frame] = GetParam();
    const float f = 32767.0f;
    SetClampLimits(f);
    // Left and right sample (taps all 1), the two slots of every band, the
    // peak (not checked when not a number). A NaN sum is silence, an
    // infinite one full scale.
    const float inf = std::numeric_limits<float>::infinity();
    const float cases[][5] = {
        {1.5f * f, -1.5f * f, f, -f, 1.5f * f},
        {f, -f, f, -f, f},
        {kNaN, -kNaN, 0.0f, 0.0f, kNaN},
        {inf, -inf, f, -f, inf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        Window w(1, first_frame);
        for (int b = 0; b < 3; ++b)
            w.t(0, b) = 1.0f;
        w.x(0, 0) = c[0];
        w.x(0, 1) = c[1];
        BandFrame out = w.Run(kernel);
        for (int slot = 0; slot < 6; ++slot)
            EXPECT_EQ(Bits(out)[slot], std::bit_cast<uint32_t>(c[2 + slot % 2])) << "slot " << slot;
        if (!std::isnan(c[4])) {
            EXPECT_EQ(out.v[6], c[4]);
            EXPECT_EQ(out.v[7], c[4]);
        }
    }
    // The peak is the largest magnitude whichever slot holds it.
    SetClampLimits(1.0f);
    for (int target = 0; target < 6; ++target) {
        Window w(1, first_frame);
        for (int b = 0; b < 3; ++b)
            w.t(0, b) = b == target / 2 ? 4.0f : 1.0f;
        w.x(0, 0) = target % 2 == 0 ? -2.0f : 1.0f;
        w.x(0, 1) = target % 2 == 1 ? -2.0f : 1.0f;
        BandFrame out = w.Run(kernel);
        EXPECT_EQ(out.v[target], -1.0f) << "target slot " << target;
        EXPECT_EQ(out.v[6], 8.0f) << "target slot " << target;
        EXPECT_EQ(out.v[7], 8.0f) << "target slot " << target;
    }
}

TEST_P(KernelProperty, AdditionsFollowTheEvenOddOrder)
{
    // Ten products 2^24, 1, -2^24, 0, ...: 2^24 + 1 rounds back to 2^24, so
    // the result shows which partial sum each product went to.
    //   even frame: E = 2^24 - 2^24 (taps 0, 2), O = 1 (tap 1): S = 1
    //   odd frame:  E = 2^24 (tap 0 alone) + 1 (tap 1), O = -2^24: S = 0
    // A plain left-to-right sum gives 0 for both.
    const auto [kernel, first_frame] = GetParam();
    SetClampLimits(FLT_MAX);
    Window w(10, first_frame);
    for (uint32_t j = 0; j < 10; ++j)
        for (int b = 0; b < 3; ++b)
            w.t(j, b) = 1.0f;
    w.x(0, 0) = 16777216.0f;
    w.x(1, 0) = 1.0f;
    w.x(2, 0) = -16777216.0f;
    BandFrame out = w.Run(kernel);
    for (int slot = 0; slot < 6; slot += 2)
        EXPECT_EQ(out.v[slot], first_frame ? 0.0f : 1.0f) << "slot " << slot;
}

INSTANTIATE_TEST_SUITE_P(
    BothKernels, KernelProperty,
    ::testing::Combine(::testing::Values(Kernel(ConvolveBands), Kernel(ConvolveBandsReference)),
                       ::testing::Values(0u, 1u)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == ConvolveBands ? "Sse" : "Reference") +
               (std::get<1>(info.param) ? "_OddFrame" : "_EvenFrame");
    });

} // namespace
