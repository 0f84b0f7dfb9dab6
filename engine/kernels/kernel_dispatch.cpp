// Which convolution path runs: the widest one that both the CPU (CPUID) and
// the OS (XGETBV: it saves the wider registers on a task switch) support,
// unless TRIVANDEL_KERNEL names another. Built for the x86-64 baseline like
// everything outside the wide kernels, so this runs on every CPU.
#include <cpuid.h>
#include <cstdlib>
#include <cstring>

#include "engine/kernels/kernel_dispatch.h"

const KernelPath kKernelPaths[kPathCount] = {
    {"reference", ConvolveBlockReference, ResampleReference},
    {"sse", ConvolveBlockSse, ResampleSse},
    {"avx2", ConvolveBlockAvx2, ResampleAvx2},
    {"avx512", ConvolveBlockAvx512, ResampleAvx512},
};

ClampLimitVectors ClampLimits = {{0.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f, 0.0f}};

namespace {

struct CpuidResult {
    uint32_t eax, ebx, ecx, edx;
};

// False when the CPU has no such leaf.
bool Cpuid(uint32_t leaf, CpuidResult* r)
{
    return __get_cpuid_count(leaf, 0, &r->eax, &r->ebx, &r->ecx, &r->edx) != 0;
}

// XCR0: the register state the OS saves. Only called where CPUID reports
// OSXSAVE, without which the instruction does not exist.
uint64_t EnabledRegisterState()
{
    uint32_t low, high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<uint64_t>(high) << 32) | low;
}

uint32_t DetectPaths()
{
    uint32_t paths = (1u << kPathReference) | (1u << kPathSse);
    CpuidResult basic, extended;
    if (!Cpuid(1, &basic) || !Cpuid(7, &extended))
        return paths;
    const bool osxsave = (basic.ecx >> 27) & 1u;
    const bool avx = (basic.ecx >> 28) & 1u;
    const bool avx2 = (extended.ebx >> 5) & 1u;
    const uint32_t avx512_bits = 1u << 16; // built with -mavx512f: AVX-512F alone
    const bool avx512 = (extended.ebx & avx512_bits) == avx512_bits;
    if (!osxsave || !avx)
        return paths;
    const uint64_t state = EnabledRegisterState();
    // XMM and YMM state; then also the opmask registers, the upper halves of
    // ZMM0-15 and ZMM16-31.
    const uint64_t ymm = 0x6, zmm = 0xE6;
    if (avx2 && (state & ymm) == ymm) {
        paths |= 1u << kPathAvx2;
        // The AVX-512 file is built with AVX2 as well.
        if (avx512 && (state & zmm) == zmm)
            paths |= 1u << kPathAvx512;
    }
    return paths;
}

// `path`, or the widest path of `available` below it; reference and SSE run
// everywhere, whatever `available` says.
uint32_t WidestUpTo(uint32_t path, uint32_t available)
{
    available |= (1u << kPathReference) | (1u << kPathSse);
    if (path >= kPathCount)
        path = kPathCount - 1;
    while (((available >> path) & 1u) == 0)
        --path;
    return path;
}

const uint32_t kAvailable = DetectPaths();
uint32_t g_active = ChoosePath(std::getenv("TRIVANDEL_KERNEL"), kAvailable);

} // namespace

bool PathAvailable(uint32_t path)
{
    return path < kPathCount && ((kAvailable >> path) & 1u) != 0;
}

uint32_t ChoosePath(const char* name, uint32_t available)
{
    uint32_t path = kPathCount - 1;
    if (name != nullptr)
        for (uint32_t p = 0; p < kPathCount; ++p)
            if (std::strcmp(name, kKernelPaths[p].name) == 0)
                path = p;
    return WidestUpTo(path, available);
}

uint32_t ActivePath()
{
    return g_active;
}

void UsePath(uint32_t path)
{
    g_active = WidestUpTo(path, kAvailable);
}
