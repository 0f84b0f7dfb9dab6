// The FFT path built for the x86-64 baseline (SSE2); see fft_core.h.
#include "engine/fft/fft_core.h"
#include "engine/fft/fft_paths.h"

TRIVANDEL_FFT_PATH(Sse, 16)
