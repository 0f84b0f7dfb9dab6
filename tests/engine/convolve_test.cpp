#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/kernels/kernel_dispatch.h"
#include "tests/engine/test_support.h"

namespace {

void SetClampLimits(float f)
{
    for (int i = 0; i < 4; ++i) {
        ClampLimits.upper[i] = f;
        ClampLimits.lower[i] = -f;
    }
}

// The slots' bit patterns: equal exactly when two results are bit-identical.
std::array<uint32_t, 8> Bits(const BandFrame& f)
{
    return std::bit_cast<std::array<uint32_t, 8>>(f);
}

// A path the CPU cannot run is reported, never passed.
#define SKIP_IF_UNAVAILABLE(path)                                                                  \
    if (!PathAvailable(path))                                                                      \
    GTEST_SKIP() << kKernelPaths[path].name << " is not available on this CPU"

// The windows of `count` output frames from an even or odd store index: a
// zeroed store holding exactly those frames, and a zeroed tap table, in
// 32-byte aligned blocks like the filter's.
struct Window {
    Window(uint32_t taps, uint32_t first_frame, uint32_t count = 1)
        : store(MakeAlignedFloats(2 * (first_frame + count + taps))),
          table(MakeAlignedFloats(4 * (taps + 1))), frames(store.get() + 2 * first_frame), n(taps),
          count(count)
    {
    }
    void Randomise(unsigned seed)
    {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (uint32_t j = 0; j + 1 < n + count; ++j) {
            x(j, 0) = value(rng);
            x(j, 1) = value(rng);
        }
        for (uint32_t j = 0; j < n; ++j)
            for (int b = 0; b < 3; ++b)
                t(j, b) = value(rng);
    }
    float& x(uint32_t j, int ch) { return frames[2 * j + ch]; }
    float& t(uint32_t j, int band) { return table[4 * j + band]; }
    std::vector<BandFrame> Run(uint32_t path)
    {
        // One frame more, which must stay as it is.
        std::vector<BandFrame> out(count + 1);
        std::memset(out.data(), 0xA5, out.size() * sizeof(BandFrame));
        kKernelPaths[path].convolve(out.data(), frames, count, table.get(), n);
        std::array<uint32_t, 8> untouched;
        untouched.fill(0xA5A5A5A5u);
        EXPECT_EQ(Bits(out.back()), untouched);
        out.pop_back();
        return out;
    }

    AlignedFloats store;
    AlignedFloats table;
    float* frames;
    uint32_t n;
    uint32_t count;
};

// The paths held to the reference.
const auto kFastPaths = ::testing::Values(kPathSse, kPathAvx2, kPathAvx512);

class PathAgreement : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(PathAgreement, EveryFrameIsBitIdenticalToTheReference)
{
    const auto [path, n] = GetParam();
    SKIP_IF_UNAVAILABLE(path);
    // Two sub-blocks of the wide kernels, the second one partial.
    constexpr uint32_t kFrames = 67;
    // About a quarter of the sums are out of range.
    const float limit = 0.4f * std::sqrt(static_cast<float>(n));
    SetClampLimits(limit);
    for (uint32_t first_frame : {0u, 1u}) {
        Window w(n, first_frame, kFrames);
        w.Randomise(2 * n + first_frame);
        // Clean data, then not-a-number and infinite samples (an infinite
        // difference as well), then a tap that is not a number either.
        for (int poison = 0; poison < 3; ++poison) {
            SCOPED_TRACE(testing::Message()
                         << "first frame " << first_frame << ", poison " << poison);
            if (poison == 1 && n > 0) {
                w.x(40, 0) = NAN;
                w.x(20, 1) = INFINITY;
                w.x(21, 1) = -INFINITY;
            }
            if (poison == 2 && n > 0)
                w.t(n / 3, 2) = NAN;
            const std::vector<BandFrame> out = w.Run(path);
            for (uint32_t i = 0; i < kFrames; ++i) {
                BandFrame want;
                ConvolveBandsReference(&want, w.frames + 2 * i, w.table.get(), n);
                ASSERT_EQ(Bits(out[i]), Bits(want)) << "frame " << i;
            }
        }
    }
}

std::vector<uint32_t> TapCounts()
{
    std::vector<uint32_t> counts(41); // 0 to 40, then long filters
    std::iota(counts.begin(), counts.end(), 0u);
    counts.insert(counts.end(), {255u, 1023u, 4096u, 16383u});
    return counts;
}

INSTANTIATE_TEST_SUITE_P(Paths, PathAgreement,
                         ::testing::Combine(kFastPaths, ::testing::ValuesIn(TapCounts())),
                         [](const auto& info) {
                             return std::string(kKernelPaths[std::get<0>(info.param)].name) + "_N" +
                                    std::to_string(std::get<1>(info.param));
                         });

// The properties below hold for every path, the reference included, on
// single frames.
class PathProperty : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {
protected:
    void SetUp() override { SKIP_IF_UNAVAILABLE(std::get<0>(GetParam())); }
    BandFrame Run(Window& w) { return w.Run(std::get<0>(GetParam()))[0]; }
    uint32_t first_frame() const { return std::get<1>(GetParam()); }
};

TEST_P(PathProperty, ImpulseTapPicksItsFrameInFileOrderOldestFirst)
{
    SetClampLimits(FLT_MAX);
    for (uint32_t k : {0u, 8u, 16u}) {
        Window w(17, first_frame());
        w.Randomise(7);
        for (uint32_t j = 0; j < 17; ++j)
            for (int b = 0; b < 3; ++b)
                w.t(j, b) = j == k ? (b == 0 ? 0.5f : b == 1 ? -2.0f : 3.0f) : 0.0f;
        BandFrame out = Run(w);
        const float gains[3] = {0.5f, -2.0f, 3.0f};
        for (int slot = 0; slot < 6; ++slot)
            EXPECT_EQ(out.v[slot], gains[slot / 2] * w.x(k, slot % 2))
                << "k " << k << " slot " << slot;
    }
}

TEST_P(PathProperty, AdditionsFollowTheEvenOddOrder)
{
    // Ten products 2^24, 1, -2^24, 0, ...: 2^24 + 1 rounds back to 2^24, so
    // the result shows which partial sum each product went to.
    //   even frame: E = 2^24 - 2^24 (taps 0, 2), O = 1 (tap 1): S = 1
    //   odd frame:  E = 2^24 (tap 0 alone) + 1 (tap 1), O = -2^24: S = 0
    // A plain left-to-right sum gives 0 for both.
    SetClampLimits(FLT_MAX);
    Window w(10, first_frame());
    for (uint32_t j = 0; j < 10; ++j)
        for (int b = 0; b < 3; ++b)
            w.t(j, b) = 1.0f;
    w.x(0, 0) = 16777216.0f;
    w.x(1, 0) = 1.0f;
    w.x(2, 0) = -16777216.0f;
    BandFrame out = Run(w);
    for (int slot = 0; slot < 6; slot += 2)
        EXPECT_EQ(out.v[slot], first_frame() ? 0.0f : 1.0f) << "slot " << slot;
}

INSTANTIATE_TEST_SUITE_P(AllPaths, PathProperty,
                         ::testing::Combine(::testing::Values(kPathReference, kPathSse, kPathAvx2,
                                                              kPathAvx512),
                                            ::testing::Values(0u, 1u)),
                         [](const auto& info) {
                             return std::string(kKernelPaths[std::get<0>(info.param)].name) +
                                    (std::get<1>(info.param) ? "_OddFrame" : "_EvenFrame");
                         });

TEST(PathChoice, WidestAvailableUnlessNamedAndNeverOneTheCpuCannotRun)
{
    const uint32_t all = (1u << kPathCount) - 1, up_to_avx2 = all & ~(1u << kPathAvx512);
    const struct {
        const char* name;
        uint32_t available;
        uint32_t path;
    } cases[] = {
        // clang-format off
        {nullptr, all, kPathAvx512}, {nullptr, up_to_avx2, kPathAvx2}, {nullptr, 0, kPathSse},
        {"unknown", all, kPathAvx512}, {"reference", all, kPathReference}, {"sse", all, kPathSse},
        {"avx2", all, kPathAvx2}, {"avx512", up_to_avx2, kPathAvx2}, {"avx2", 1u << kPathAvx512, kPathSse},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChoosePath(c.name, c.available), c.path)
            << (c.name ? c.name : "(unset)") << ", available " << c.available;
    // Start-up took TRIVANDEL_KERNEL (CTest also runs this with it set).
    uint32_t available = 0;
    for (uint32_t p = 0; p < kPathCount; ++p)
        available |= PathAvailable(p) ? 1u << p : 0;
    EXPECT_EQ(ActivePath(), ChoosePath(std::getenv("TRIVANDEL_KERNEL"), available));
}

} // namespace
