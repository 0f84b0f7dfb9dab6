// CFft: the discrete Fourier transform of one power-of-two size, in place on
// interleaved complex values, for the long-filter convolver (float) and the
// crossover designer (double).
//   Forward: X[k] = sum over n of x[n] e^(-2 pi i n k / N)
//   Inverse: x[n] = sum over k of X[k] e^(+2 pi i n k / N), not divided by N
// Twiddles are computed in double and rounded once to T.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

template <class T> class CFft {
public:
    // False unless size is a power of two from 1 to 2^26.
    bool Setup(uint32_t size);
    uint32_t Size() const { return size_; }

    void Forward(std::complex<T>* data) const;
    void Inverse(std::complex<T>* data) const;

private:
    void Transform(std::complex<T>* data, bool inverse) const;

    uint32_t size_ = 0;
    std::vector<uint32_t> reversed_;       // bit-reversed index of each index
    std::vector<std::complex<T>> twiddle_; // e^(-2 pi i k / N), k < N / 2
};

extern template class CFft<float>;
extern template class CFft<double>;
