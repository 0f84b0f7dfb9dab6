// WAVE files: the input as a whole file, read in memory block by block. The
// chunk sizes come from the file, so any layout must end in a clean refusal
// or in frames that lie inside the data.
#undef NDEBUG // the assertions are the checks, whatever the build type
#include <cassert>
#include <cstdio>
#include <string>
#include <vector>

#include "wav/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly the input's size, so a read past it is caught.
    std::vector<uint8_t> bytes(data, data + size);
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    if (file == nullptr)
        return 0; // an empty input cannot be opened as a stream
    CWavReader reader;
    std::string error;
    if (!reader.Open(file, "input.wav", &error)) {
        assert(!error.empty());
        return 0;
    }
    assert(reader.Rate() > 0 && reader.Channels() > 0);
    // Every frame read lies inside the file.
    assert(reader.Frames() * reader.Channels() <= size);

    std::vector<float> block(7 * size_t{reader.Channels()});
    uint64_t total = 0;
    for (size_t read; (read = reader.Read(block.data(), 7)) > 0;) {
        assert(read <= 7);
        total += read;
    }
    assert(total <= reader.Frames());
    return 0;
}
