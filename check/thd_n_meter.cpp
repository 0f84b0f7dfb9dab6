// thd_n_meter FILE.wav HZ FIRST LAST [CHANNEL [4|7]]
// THD+N of a tone of HZ (the tone's +-20 Hz notched out) in each whole second
// from FIRST to LAST (s) of one channel (default 0) of a WAVE file, through a
// 7-term (default) or 4-term Blackman-Harris window; prints the worst, the
// mean and the best, in dB below the tone.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "check/thd_n.h"
#include "wav/wav_file.h"

int main(int argc, char** argv)
{
    WavSignal signal;
    std::string error;
    if (argc < 5 || !ReadWav(argv[1], &signal, &error)) {
        std::fprintf(stderr, "usage: thd_n_meter FILE.wav HZ FIRST LAST [CHANNEL [4|7]] %s\n",
                     error.c_str());
        return 2;
    }
    const double hz = std::atof(argv[2]);
    const size_t channel = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 0;
    const ThdWindow window = argc > 6 && std::atoi(argv[6]) == 4 ? kWindow4Term : kWindow7Term;
    const size_t seconds = signal.samples.size() / signal.channels / signal.rate;
    const size_t last = std::min<size_t>(std::strtoul(argv[4], nullptr, 10), seconds);
    double worst = 1e9, best = 0, sum = 0;
    size_t count = 0;
    for (size_t s = std::strtoul(argv[3], nullptr, 10); s < last && channel < signal.channels;
         ++s, ++count) {
        const float* first = signal.samples.data() + (s * signal.rate * signal.channels + channel);
        const double db = ThdPlusNoiseDb(first, signal.channels, signal.rate, hz, window);
        worst = std::min(worst, db);
        best = std::max(best, db);
        sum += db;
    }
    if (count == 0) {
        std::fprintf(stderr, "thd_n_meter: no whole second to measure\n");
        return 2;
    }
    std::printf("%s: THD+N at %.3f Hz over %zu s (%u-term window): worst %.1f dB, mean %.1f dB, "
                "best %.1f dB\n",
                argv[1], hz, count, static_cast<unsigned>(window), worst, sum / count, best);
    return 0;
}
