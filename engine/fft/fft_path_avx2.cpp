// The FFT path built for AVX2; see fft_core.h.
#include "engine/fft/fft_core.h"
#include "engine/fft/fft_paths.h"

TRIVANDEL_FFT_PATH(Avx2, 32)
