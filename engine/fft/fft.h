// CFft: the discrete Fourier transform of one power-of-two size, in place on
// interleaved complex values, for the long-filter convolver (float) and the
// crossover designer (double).
//   Forward: X[k] = sum over n of x[n] e^(-2 pi i n k / N)
//   Inverse: x[n] = sum over k of X[k] e^(+2 pi i n k / N), not divided by N
// Twiddles are computed in double and rounded once to T. A Stockham radix-4
// transform (fft_core.h) on the vector path the kernels run.
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

    // The same transforms on split arrays: re[k] + i im[k], k < Size(), in
    // place; work holds 2 * Size() values. No allocation: for real time.
    void ForwardSplit(T* re, T* im, T* work) const;
    void InverseSplit(T* re, T* im, T* work) const { ForwardSplit(im, re, work); }

    // On the path `path` of engine/kernels/kernel_dispatch.h instead of the
    // active one (for tests and benchmarks; the path must be available).
    void ForwardSplitOn(uint32_t path, T* re, T* im, T* work) const;

private:
    void Transform(std::complex<T>* data, bool inverse) const;

    uint32_t size_ = 0;
    // Per radix-4 stage of length n: w^p, w^2p, w^3p (w = e^(-2 pi i / n)),
    // p < n / 4, as six arrays: real and imaginary parts of each; for the
    // second stage (stride 4) then the same with every value four times.
    std::vector<T> twiddles_;
};

extern template class CFft<float>;
extern template class CFft<double>;
