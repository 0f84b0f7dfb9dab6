// An iterative radix-2 transform: bit-reversed reordering, then log2(N)
// passes of butterflies over a table of N / 2 twiddles.
#include "engine/fft/fft.h"

#include <cmath>
#include <utility>

template <class T> bool CFft<T>::Setup(uint32_t size)
{
    if (size == 0 || size > (1u << 26) || (size & (size - 1)) != 0)
        return false;
    size_ = size;
    uint32_t bits = 0;
    while ((1u << bits) < size)
        ++bits;
    reversed_.assign(size, 0);
    for (uint32_t i = 0; i < size; ++i) {
        uint32_t r = 0;
        for (uint32_t b = 0; b < bits; ++b)
            r |= ((i >> b) & 1u) << (bits - 1 - b);
        reversed_[i] = r;
    }
    twiddle_.resize(size / 2);
    constexpr double kTwoPi = 6.283185307179586476925;
    for (uint32_t k = 0; k < size / 2; ++k) {
        const double angle = -kTwoPi * k / size;
        twiddle_[k] =
            std::complex<T>(static_cast<T>(std::cos(angle)), static_cast<T>(std::sin(angle)));
    }
    return true;
}

template <class T> void CFft<T>::Forward(std::complex<T>* data) const
{
    Transform(data, false);
}

template <class T> void CFft<T>::Inverse(std::complex<T>* data) const
{
    Transform(data, true);
}

template <class T> void CFft<T>::Transform(std::complex<T>* data, bool inverse) const
{
    for (uint32_t i = 0; i < size_; ++i)
        if (i < reversed_[i])
            std::swap(data[i], data[reversed_[i]]);
    for (uint32_t half = 1; half < size_; half *= 2) {
        const uint32_t stride = size_ / (2 * half);
        for (uint32_t start = 0; start < size_; start += 2 * half)
            for (uint32_t j = 0; j < half; ++j) {
                std::complex<T> w = twiddle_[j * stride];
                if (inverse)
                    w = std::conj(w);
                const std::complex<T> a = data[start + j];
                const std::complex<T> b = data[start + j + half] * w;
                data[start + j] = a + b;
                data[start + j + half] = a - b;
            }
    }
}

template class CFft<float>;
template class CFft<double>;
