#pragma once

// The decompressors behind the ZIP reader's copy loop: one class per compression method, all driven the
// same way, so the loop's rules (chunking, the stop hook, the declared size, the CRC) hold for every
// method alike. Internal to the reader.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zelvano::zip {

inline constexpr uint16_t kMethodBZip2 = 12;
inline constexpr uint16_t kMethodLzma = 14;
inline constexpr uint16_t kMethodZstdOld = 20; // the number early Zstandard writers used
inline constexpr uint16_t kMethodZstd = 93;
inline constexpr uint16_t kMethodXz = 95;

// LZMA: general-purpose flag bit 1 says the stream ends with an end marker.
inline constexpr uint16_t kFlagLzmaEndMarker = 0x0002;

// The largest history window a decoder accepts (LZMA dictionary, XZ and Zstandard window): a stream that
// asks for more is refused as damaged rather than given that much memory.
inline constexpr uint64_t kMaxWindow = uint64_t(1) << 27;

enum class DecodeStatus
{
    Ok,      // more may follow: call again with more input or more room
    End,     // the stream ended whole
    Damaged, // the stream is damaged, or needs more memory than a decoder may take
};

// The buffers of one step: the decoder advances `in` and `out` past what it consumed and produced.
struct DecodeBuffers
{
    const unsigned char* in = nullptr;
    size_t inLeft = 0;
    unsigned char* out = nullptr;
    size_t outLeft = 0;
    bool inputEnds = false; // no input follows what `in` holds
};

class ZipDecoder
{
public:
    ZipDecoder() = default;
    ZipDecoder(const ZipDecoder&) = delete;
    ZipDecoder& operator=(const ZipDecoder&) = delete;
    virtual ~ZipDecoder() = default;

    // One step: consumes input and produces output as far as it can.
    virtual DecodeStatus Step(DecodeBuffers& buffers) = 0;
};

// True for the methods MakeZipDecoder has a decoder for.
bool IsReadableMethod(uint16_t method);

// A fresh decoder for one entry's data; null for a method it does not read, or when the library cannot
// set one up. declaredSize is the entry's uncompressed size: LZMA streams without an end marker stop there.
std::unique_ptr<ZipDecoder> MakeZipDecoder(uint16_t method, uint16_t flags, uint64_t declaredSize);

} // namespace zelvano::zip
