// Set-up of the stage twiddles, and the interleaved form of the transform
// on top of the split one: the inverse is the forward transform with real
// and imaginary parts exchanged (swap(DFT(swap(x))) is the unscaled inverse).
#include "engine/fft/fft.h"

#include <cmath>

#include "engine/fft/fft_paths.h"
#include "engine/kernels/kernel_dispatch.h"

const FftPath kFftPaths[4] = {
    {FftFloatReference, FftDoubleReference, SpectraMultiplyAddReference},
    {FftFloatSse, FftDoubleSse, SpectraMultiplyAddSse},
    {FftFloatAvx2, FftDoubleAvx2, SpectraMultiplyAddAvx2},
    {FftFloatAvx512, FftDoubleAvx512, SpectraMultiplyAddAvx512},
};
static_assert(kPathCount == 4, "one FFT path per kernel path");

const FftPath& ActiveFftPath()
{
    return kFftPaths[ActivePath()];
}

namespace {

void Run(uint32_t path, float* re, float* im, float* work, uint32_t size, const float* tw)
{
    kFftPaths[path].fft_float(re, im, work, size, tw);
}

void Run(uint32_t path, double* re, double* im, double* work, uint32_t size, const double* tw)
{
    kFftPaths[path].fft_double(re, im, work, size, tw);
}

} // namespace

template <class T> bool CFft<T>::Setup(uint32_t size)
{
    if (size == 0 || size > (1u << 26) || (size & (size - 1)) != 0)
        return false;
    size_ = size;
    twiddles_.clear();
    constexpr double kTwoPi = 6.283185307179586476925;
    for (uint32_t n = size, s = 1; n >= 4; n /= 4, s *= 4) {
        const uint32_t m = n / 4;
        const size_t first = twiddles_.size();
        // The stage of stride 4 also has each value four times over, for
        // the paths whose vectors are wider than four values.
        const uint32_t repeat = s == 4 ? 4 : 0;
        twiddles_.resize(first + 6 * static_cast<size_t>(m) * (1 + repeat));
        T* plain = twiddles_.data() + first;
        T* repeated = plain + 6 * static_cast<size_t>(m);
        for (uint32_t k = 1; k <= 3; ++k)
            for (uint32_t p = 0; p < m; ++p) {
                // Reduced to the first turn in integers, so that large
                // products do not lose the angle's precision.
                const double angle = -kTwoPi * static_cast<double>((uint64_t{k} * p) % n) / n;
                const T w[2] = {static_cast<T>(std::cos(angle)), static_cast<T>(std::sin(angle))};
                for (uint32_t part = 0; part < 2; ++part) {
                    const size_t array = 2 * (k - 1) + part;
                    plain[array * m + p] = w[part];
                    for (uint32_t r = 0; r < repeat; ++r)
                        repeated[array * repeat * m + repeat * p + r] = w[part];
                }
            }
    }
    return true;
}

template <class T> void CFft<T>::ForwardSplit(T* re, T* im, T* work) const
{
    Run(ActivePath(), re, im, work, size_, twiddles_.data());
}

template <class T> void CFft<T>::ForwardSplitOn(uint32_t path, T* re, T* im, T* work) const
{
    Run(path, re, im, work, size_, twiddles_.data());
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
    std::vector<T> split(4 * static_cast<size_t>(size_));
    T* re = split.data();
    T* im = re + size_;
    for (uint32_t k = 0; k < size_; ++k) {
        re[k] = data[k].real();
        im[k] = data[k].imag();
    }
    if (inverse)
        InverseSplit(re, im, im + size_);
    else
        ForwardSplit(re, im, im + size_);
    for (uint32_t k = 0; k < size_; ++k)
        data[k] = std::complex<T>(re[k], im[k]);
}

template class CFft<float>;
template class CFft<double>;
