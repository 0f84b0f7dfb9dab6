// The FFT path built for AVX-512F; see fft_core.h.
#include "engine/fft/fft_core.h"
#include "engine/fft/fft_paths.h"

TRIVANDEL_FFT_PATH(Avx512, 64)
