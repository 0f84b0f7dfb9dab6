// The FFT path built for the scalar reference (no vectors); see fft_core.h.
#include "engine/fft/fft_core.h"
#include "engine/fft/fft_paths.h"

TRIVANDEL_FFT_PATH(Reference, 0)
