// The clock the core runs at while the benchmarks run, for cycle counts: the
// nominal clock says little on a machine that turbo-boosts or is shared, and
// cores run wide vector code at a lower clock than scalar code.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

// Cycles per second, timed on a chain of dependent register-to-register
// additions (one cycle each on every x86-64 core of the last fifteen years;
// newer cores fold additions of a constant into the renamer, so those would
// not count cycles), with independent multiplies as wide as path `path`'s
// vectors (engine/kernels/convolve.h: 128 bits for the reference and SSE, 256 for
// AVX2, 512 for AVX-512) beside them to hold the core at the clock it runs
// such code at. The median of a few short runs, in this thread's CPU time
// (as Google Benchmark counts it: the machine is shared).
double MeasureClockHz(uint32_t path);

// The time and the cycles at `clock_hz` per `unit` ("ns_per_<unit>",
// "cycles_per_<unit>"), `units` of them done each iteration, and the clock.
void ReportPerUnit(benchmark::State& state, const char* unit, double units, double clock_hz);
