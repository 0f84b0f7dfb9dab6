// The clock the core runs at while the benchmarks run, for cycle counts: the
// nominal clock says little on a machine that turbo-boosts or is shared, and
// cores run wide vector code at a lower clock than scalar code.
#pragma once

// Cycles per second, timed on a chain of dependent register-to-register
// additions (one cycle each on every x86-64 core of the last fifteen years;
// newer cores fold additions of a constant into the renamer, so those would
// not count cycles), with independent multiplies of `vector_bits` (128, 256
// or 512, which the CPU must have) beside them to hold the core at the clock
// it runs such code at. The median of a few short runs, in this thread's
// CPU time (as Google Benchmark counts it: the machine is shared).
double MeasureClockHz(int vector_bits);
