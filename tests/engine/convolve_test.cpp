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

void SetClampLimits(float f)
{
    for (int i = 0; i < 4; ++i) {
        ClampLimits.upper[i] = f;
        ClampLimits.lower[i] = -f;
    }
}

// A window of stored frames at an even or odd store index, and a tap
// table with zero fourth floats, in 32-byte aligned blocks like the filter's.
struct Window {
    Window(uint32_t taps, uint32_t first_frame)
        : store(2 * (taps + 2) + 8), table(4 * (taps + 1) + 4),
          frames(store.data() + 2 * first_frame), n(taps)
    {
        std::memset(store.data(), 0, (2 * (taps + 2) + 8) * sizeof(float));
        std::memset(table.data(), 0, (4 * (taps + 1) + 4) * sizeof(float));
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

    AlignedFloats store;
    AlignedFloats table;
    float* frames;
    uint32_t n;
};

BandFrame RunKernel(Kernel kernel, Window& w)
{
    BandFrame out;
    std::memset(&out, 0xA5, sizeof(out)); // every slot must be written
    kernel(&out, w.frames, w.table.data(), w.n);
    return out;
}

std::string Slots(const BandFrame& f)
{
    std::string s;
    for (float v : f.v)
        s += std::to_string(v) + " ";
    return s;
}

class KernelAgreement : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(KernelAgreement, SseIsBitIdenticalToTheReferenceAndCloseToTheExactSum)
{
    const auto [n, first_frame] = GetParam();
    SetClampLimits(FLT_MAX);
    Window w(n, first_frame);
    w.Randomise(1000 * n + first_frame);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(w.frames) % 16, 8u * first_frame);

    BandFrame sse = RunKernel(ConvolveBands, w);
    BandFrame ref = RunKernel(ConvolveBandsReference, w);
    EXPECT_EQ(std::memcmp(&sse, &ref, sizeof(BandFrame)), 0)
        << "SSE " << Slots(sse) << "\nref " << Slots(ref);

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
}

INSTANTIATE_TEST_SUITE_P(Lengths, KernelAgreement,
                         ::testing::Combine(::testing::Values(0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u,
                                                              9u, 10u, 11u, 12u, 13u, 14u, 15u, 16u,
                                                              17u, 31u, 32u, 33u, 255u, 256u, 1023u,
                                                              1024u, 4095u),
                                            ::testing::Values(0u, 1u)),
                         [](const auto& info) {
                             std::string name = "N";
                             name += std::to_string(std::get<0>(info.param));
                             name += std::get<1>(info.param) ? "_OddFrame" : "_EvenFrame";
                             return name;
                         });

// The properties below hold for both versions.
class KernelProperty : public ::testing::TestWithParam<std::tuple<Kernel, uint32_t>> {};

TEST_P(KernelProperty, NoTapsGiveAllZeroSlots)
{
    const auto [kernel, first_frame] = GetParam();
    SetClampLimits(32767.0f);
    Window w(0, first_frame);
    BandFrame out = RunKernel(kernel, w);
    for (float v : out.v)
        EXPECT_EQ(v, 0.0f);
}

TEST_P(KernelProperty, ImpulseTapPicksItsFrameInFileOrder)
{
    const auto [kernel, first_frame] = GetParam();
    SetClampLimits(FLT_MAX);
    for (uint32_t k : {0u, 8u, 16u}) {
        Window w(17, first_frame);
        w.Randomise(7);
        for (uint32_t j = 0; j < 17; ++j)
            for (int b = 0; b < 3; ++b)
                w.t(j, b) = 0.0f;
        w.t(k, 0) = 0.5f;
        w.t(k, 1) = -2.0f;
        w.t(k, 2) = 3.0f;
        BandFrame out = RunKernel(kernel, w);
        EXPECT_EQ(out.v[0], 0.5f * w.x(k, 0)) << "k " << k;
        EXPECT_EQ(out.v[1], 0.5f * w.x(k, 1)) << "k " << k;
        EXPECT_EQ(out.v[2], -2.0f * w.x(k, 0)) << "k " << k;
        EXPECT_EQ(out.v[3], -2.0f * w.x(k, 1)) << "k " << k;
        EXPECT_EQ(out.v[4], 3.0f * w.x(k, 0)) << "k " << k;
        EXPECT_EQ(out.v[5], 3.0f * w.x(k, 1)) << "k " << k;
    }
}

TEST_P(KernelProperty, SumsBeyondFullScaleAreClampedAndPeakIsTakenBefore)
{
    const auto [kernel, first_frame] = GetParam();
    const float f = 32767.0f;
    SetClampLimits(f);
    Window w(1, first_frame);
    w.t(0, 0) = 1.0f; // low: +-1.5 F
    w.t(0, 1) = 0.5f; // band and high: inside
    w.t(0, 2) = 0.25f;
    w.x(0, 0) = 1.5f * f;
    w.x(0, 1) = -1.5f * f;
    BandFrame out = RunKernel(kernel, w);
    EXPECT_EQ(out.v[0], f);
    EXPECT_EQ(out.v[1], -f);
    EXPECT_EQ(out.v[2], 0.75f * f);
    EXPECT_EQ(out.v[3], -0.75f * f);
    EXPECT_EQ(out.v[4], 0.25f * 1.5f * f);
    EXPECT_EQ(out.v[5], -0.25f * 1.5f * f);
    EXPECT_EQ(out.v[6], 1.5f * f);
    EXPECT_EQ(out.v[7], 1.5f * f);
}

TEST_P(KernelProperty, SumsOfExactlyFullScaleAreKept)
{
    const auto [kernel, first_frame] = GetParam();
    const float f = 2147483648.0f;
    SetClampLimits(f);
    Window w(2, first_frame);
    for (int b = 0; b < 3; ++b)
        w.t(0, b) = w.t(1, b) = 0.5f;
    w.x(0, 0) = w.x(1, 0) = f;
    w.x(0, 1) = w.x(1, 1) = -f;
    BandFrame out = RunKernel(kernel, w);
    for (int slot = 0; slot < 6; slot += 2) {
        EXPECT_EQ(out.v[slot], f);
        EXPECT_EQ(out.v[slot + 1], -f);
    }
    EXPECT_EQ(out.v[7], f);
}

TEST_P(KernelProperty, PeakIsTheLargestMagnitudeWhicheverSlotHasIt)
{
    const auto [kernel, first_frame] = GetParam();
    SetClampLimits(1.0f);
    for (int target = 0; target < 6; ++target) {
        Window w(1, first_frame);
        for (int b = 0; b < 3; ++b)
            w.t(0, b) = b == target / 2 ? 4.0f : 1.0f;
        w.x(0, 0) = target % 2 == 0 ? -2.0f : 1.0f;
        w.x(0, 1) = target % 2 == 1 ? -2.0f : 1.0f;
        BandFrame out = RunKernel(kernel, w);
        EXPECT_EQ(out.v[6], 8.0f) << "target slot " << target;
        EXPECT_EQ(out.v[7], 8.0f) << "target slot " << target;
        EXPECT_EQ(out.v[target], -1.0f) << "target slot " << target;
    }
}

TEST_P(KernelProperty, SumsThatAreNotNumbersBecomePlusFullScale)
{
    const auto [kernel, first_frame] = GetParam();
    const float f = 32767.0f;
    SetClampLimits(f);
    Window w(9, first_frame);
    w.Randomise(3);
    w.x(4, 0) = std::numeric_limits<float>::quiet_NaN();
    w.x(4, 1) = -std::numeric_limits<float>::quiet_NaN();
    BandFrame out = RunKernel(kernel, w);
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_EQ(out.v[slot], f) << "slot " << slot;
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
    BandFrame out = RunKernel(kernel, w);
    const float expected = first_frame ? 0.0f : 1.0f;
    for (int slot = 0; slot < 6; slot += 2)
        EXPECT_EQ(out.v[slot], expected) << "slot " << slot;
}

INSTANTIATE_TEST_SUITE_P(
    BothKernels, KernelProperty,
    ::testing::Combine(::testing::Values(Kernel(ConvolveBands), Kernel(ConvolveBandsReference)),
                       ::testing::Values(0u, 1u)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == ConvolveBands ? "Sse" : "Reference") +
               (std::get<1>(info.param) ? "_OddFrame" : "_EvenFrame");
    });

TEST(KernelAgreement, SseMatchesTheReferenceWhenSumsAreNotNumbers)
{
    SetClampLimits(32767.0f);
    for (uint32_t first_frame : {0u, 1u}) {
        Window w(20, first_frame);
        w.Randomise(11);
        w.x(3, 1) = std::numeric_limits<float>::infinity();
        w.x(19, 0) = std::numeric_limits<float>::quiet_NaN();
        BandFrame sse = RunKernel(ConvolveBands, w);
        BandFrame ref = RunKernel(ConvolveBandsReference, w);
        EXPECT_EQ(std::memcmp(&sse, &ref, sizeof(BandFrame)), 0)
            << "SSE " << Slots(sse) << "\nref " << Slots(ref);
    }
}

} // namespace
