// CFIRFilter: the three-band filter. A CCaptureBuffer that also holds one
// table of FIR taps for the low-pass, band-pass and high-pass bands, and the
// output settings that ReadData applies.
#pragma once

#include <cstdint>

#include "engine/filter/capture_buffer.h"
#include "engine/filter/tap_file.h"

// The tap files, band 0, 1 and 2, read from the working directory.
extern const char* const kTapFileNames[3];

class CPartitionedConvolver;

// Which convolution ReadData runs: the direct kernel (engine/kernels), or
// the partitioned FFT engine (engine/fft), the same windows without added
// latency, for long filters.
enum : uint8_t { kConvolutionDirect, kConvolutionFft };

// The convolution named by TRIVANDEL_CONVOLUTION's value: "direct" (also
// for a null value) or "fft". False for any other value, after printing
// the line that names the variable.
bool ChooseConvolution(const char* value, uint8_t* convolution);

// SampleKind of an output format: 16 or 24 valid bits of PCM, or 32 valid
// bits in 32-bit containers; else none.
int32_t ChooseSampleKind(const WaveFormat& format);

class CFIRFilter : public CCaptureBuffer {
public:
    CFIRFilter();
    ~CFIRFilter() override;

    // Loads the three files of kTapFileNames from the working folder, each
    // into its band. All three are read even after a failure, so that every
    // bad file is reported; true only when all three loaded. The second form
    // also hands back each file's taps as read, for tools that study them.
    bool LoadTapFiles();
    bool LoadTapFiles(TapList lists[3]);

    uint32_t GetTapCount() const override;

    // Takes the output stream's format (plain or extensible): output_format
    // becomes its widened copy and sample_kind follows from it. False when
    // the program cannot produce that format (sample_kind is then none).
    bool SetOutputFormat(const WaveFormat* format);

    // Full scale of the samples of SampleKind `kind`: 32767 for 16-bit PCM,
    // 2^31 for 24- and 32-bit PCM (in 32-bit units), else full_scale as it
    // is. Without `kind`, the output's.
    float OutputFullScale(int32_t kind) const;
    float OutputFullScale() const { return OutputFullScale(sample_kind); }

    // Whether the taps, once ReadData scales them by attenuation times the
    // full scale of `kind` samples, are all finite numbers; prints the line
    // that says the attenuation is unusable when they are not.
    bool CheckScaledTaps(int32_t kind) const;

    // With the FFT engine: scales the taps for the output format and sets
    // the engine up for passes of frame_count frames now, at set-up, so
    // that the first pass does not spend that time.
    void PrepareFft(uint32_t frame_count);
    // While the store fills before the first pass: lets the FFT engine do
    // on the frames held what that pass would do all at once.
    void WarmFft(uint32_t frame_count);

    // Fills `frame_count` output frames (output_format's block alignment
    // apart) from the store; returns the frames made from stored data.
    uint32_t ReadData(uint32_t frame_count, uint8_t* out);

    float* taps; // TapTable: (tap_count + 1) entries of four floats, 32-byte aligned
    float attenuation;
    float full_scale;
    uint8_t mono_lfe;
    uint8_t divider_through;
    uint8_t taps_dirty;
    uint8_t convolution; // kConvolutionDirect or kConvolutionFft

private:
    // Puts a file's taps into the band's column; the first file fixes the
    // length of all three. Prints the error line naming `path`.
    bool SetTaps(const TapList& list, uint32_t band, const char* path);

    // The taps times attenuation and the output's full scale, once per set.
    void ScaleTaps();
    // The FFT engine for the scaled taps and the pass's frames, null when it
    // cannot run (then the direct kernel does); started afresh whenever the
    // store dropped frames or a pass did not go through it.
    CPartitionedConvolver* FftFor(uint32_t frame_count);
    void DropFft();

    CPartitionedConvolver* fft_;
    bool fft_stale_;     // the taps changed since the engine took them
    bool fft_fed_;       // in step with read_pos: the last pass went through
                         // the engine, or it was started afresh since
    uint32_t fft_drops_; // the store's drops when the engine last ran
};
