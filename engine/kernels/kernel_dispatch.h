// Which vector path the kernels run: the widest one that both the CPU and
// the OS support, unless TRIVANDEL_KERNEL names another.
#pragma once

#include <cstdint>

#include "engine/kernels/convolve.h"
#include "engine/kernels/resample.h"

// The paths, narrowest first; a wider one is only ever chosen where it runs.
enum : uint32_t { kPathReference, kPathSse, kPathAvx2, kPathAvx512, kPathCount };
// One entry per path: the convolution and the resampler built for it, so the
// resampler always runs the kernel's path.
struct KernelPath {
    const char* name; // as TRIVANDEL_KERNEL takes it
    ConvolveBlockFunction convolve;
    ResampleFunction resample;
};
extern const KernelPath kKernelPaths[kPathCount];

// Whether this CPU has the instructions and the OS saves the registers.
bool PathAvailable(uint32_t path);
// The path named `name` if it is in `available`, else the widest available
// one below it; the widest available one for a null or unknown name.
uint32_t ChoosePath(const char* name, uint32_t available);

// The path ReadData runs: chosen at start-up from TRIVANDEL_KERNEL
// ("reference", "sse", "avx2", "avx512"; unset: the widest available).
uint32_t ActivePath();
// Runs `path` from now on, or the widest available one below it.
void UsePath(uint32_t path);
