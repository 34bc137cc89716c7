#include "archive/zipdecoders.h"

#include "archive/zipformat.h"

#include <bzlib.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace zelvano::zip {

namespace {

// The libraries count their buffers in unsigned int; the reader's chunks are far smaller, but a step
// never hands over more than fits.
unsigned int Clamp32(size_t length)
{
    return static_cast<unsigned int>(std::min<size_t>(length, UINT_MAX));
}

class StoredDecoder final : public ZipDecoder
{
public:
    DecodeStatus Step(DecodeBuffers& b) override
    {
        const size_t take = std::min(b.inLeft, b.outLeft);
        if (take > 0)
            std::memcpy(b.out, b.in, take);
        b.in += take;
        b.inLeft -= take;
        b.out += take;
        b.outLeft -= take;
        return b.inputEnds && b.inLeft == 0 ? DecodeStatus::End : DecodeStatus::Ok;
    }
};

class DeflateDecoder final : public ZipDecoder
{
public:
    bool Init() { return m_ready = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK; }
    ~DeflateDecoder() override
    {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    DecodeStatus Step(DecodeBuffers& b) override
    {
        m_stream.next_in = const_cast<Bytef*>(b.in); // zlib's API is not const-correct; it never writes there
        m_stream.avail_in = Clamp32(b.inLeft);
        m_stream.next_out = b.out;
        m_stream.avail_out = Clamp32(b.outLeft);
        const unsigned int inBefore = m_stream.avail_in;
        const unsigned int outBefore = m_stream.avail_out;
        const int status = inflate(&m_stream, Z_NO_FLUSH);
        Advance(b, inBefore - m_stream.avail_in, outBefore - m_stream.avail_out);
        if (status == Z_STREAM_END)
            return DecodeStatus::End;
        return status == Z_OK || status == Z_BUF_ERROR ? DecodeStatus::Ok : DecodeStatus::Damaged;
    }

    static void Advance(DecodeBuffers& b, size_t consumed, size_t produced)
    {
        b.in += consumed;
        b.inLeft -= consumed;
        b.out += produced;
        b.outLeft -= produced;
    }

private:
    z_stream m_stream{};
    bool m_ready = false;
};

// Up to 900 KB blocks: libbz2 needs about 3.7 MB at most, whatever the stream says.
class BZip2Decoder final : public ZipDecoder
{
public:
    bool Init() { return m_ready = BZ2_bzDecompressInit(&m_stream, 0, 0) == BZ_OK; }
    ~BZip2Decoder() override
    {
        if (m_ready)
            BZ2_bzDecompressEnd(&m_stream);
    }
    DecodeStatus Step(DecodeBuffers& b) override
    {
        m_stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(b.in)); // read only, as with zlib
        m_stream.avail_in = Clamp32(b.inLeft);
        m_stream.next_out = reinterpret_cast<char*>(b.out);
        m_stream.avail_out = Clamp32(b.outLeft);
        const unsigned int inBefore = m_stream.avail_in;
        const unsigned int outBefore = m_stream.avail_out;
        const int status = BZ2_bzDecompress(&m_stream);
        DeflateDecoder::Advance(b, inBefore - m_stream.avail_in, outBefore - m_stream.avail_out);
        if (status == BZ_STREAM_END)
            return DecodeStatus::End;
        return status == BZ_OK ? DecodeStatus::Ok : DecodeStatus::Damaged;
    }

private:
    bz_stream m_stream{};
    bool m_ready = false;
};

// Both liblzma decoders, the raw LZMA1 one and the .xz stream one, step the same way.
class LzmaStepper
{
public:
    LzmaStepper() = default;
    LzmaStepper(const LzmaStepper&) = delete;
    LzmaStepper& operator=(const LzmaStepper&) = delete;
    ~LzmaStepper() { lzma_end(&m_stream); }

    lzma_stream* Stream() { return &m_stream; }

    DecodeStatus Step(DecodeBuffers& b)
    {
        m_stream.next_in = b.in;
        m_stream.avail_in = b.inLeft;
        m_stream.next_out = b.out;
        m_stream.avail_out = b.outLeft;
        const lzma_ret status = lzma_code(&m_stream, b.inputEnds ? LZMA_FINISH : LZMA_RUN);
        DeflateDecoder::Advance(b, b.inLeft - m_stream.avail_in, b.outLeft - m_stream.avail_out);
        if (status == LZMA_STREAM_END)
            return DecodeStatus::End;
        // LZMA_BUF_ERROR: no progress this step; the copy loop tells a stream that lacks input.
        return status == LZMA_OK || status == LZMA_BUF_ERROR ? DecodeStatus::Ok : DecodeStatus::Damaged;
    }

private:
    lzma_stream m_stream = LZMA_STREAM_INIT;
};

// The ZIP form of LZMA: a 4-byte header (the writer's LZMA SDK version, the length of the properties),
// the 5 property bytes, then a raw LZMA1 stream. With flag bit 1 the stream ends with an end marker, and
// the declared size is only checked afterwards; without it the stream ends at the declared size.
class LzmaDecoder final : public ZipDecoder
{
public:
    LzmaDecoder(uint16_t flags, uint64_t declaredSize)
        : m_endMarker((flags & kFlagLzmaEndMarker) != 0), m_declared(declaredSize)
    {}

    DecodeStatus Step(DecodeBuffers& b) override
    {
        if (!m_started) {
            const size_t take = std::min(b.inLeft, sizeof m_header - m_headerLength);
            if (take > 0)
                std::memcpy(m_header + m_headerLength, b.in, take);
            m_headerLength += take;
            DeflateDecoder::Advance(b, take, 0);
            if (m_headerLength >= 4 && Le16(m_header + 2) != kPropertiesSize)
                return DecodeStatus::Damaged;
            if (m_headerLength < sizeof m_header)
                return b.inputEnds ? DecodeStatus::Damaged : DecodeStatus::Ok;
            if (!Start())
                return DecodeStatus::Damaged;
            m_started = true;
        }
        return m_lzma.Step(b);
    }

private:
    static constexpr uint16_t kPropertiesSize = 5;

    bool Start()
    {
        lzma_filter filter{LZMA_FILTER_LZMA1, nullptr};
        if (lzma_properties_decode(&filter, nullptr, m_header + 4, kPropertiesSize) != LZMA_OK)
            return false;
        struct Free
        {
            void operator()(void* p) const { std::free(p); } // NOLINT: liblzma allocates with malloc
        };
        const std::unique_ptr<void, Free> owner(filter.options);
        auto* options = static_cast<lzma_options_lzma*>(filter.options);
        // A valid stream never looks back further than its own output, so a larger dictionary is not
        // needed; what is still too large after that is refused.
        const uint64_t needed = std::max<uint64_t>(m_declared, LZMA_DICT_SIZE_MIN);
        const uint64_t dictionary = std::min<uint64_t>(options->dict_size, needed);
        if (dictionary > kMaxWindow)
            return false;
        options->dict_size = static_cast<uint32_t>(dictionary);
        options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        lzma_set_ext_size(*options, m_endMarker ? UINT64_MAX : m_declared);
        const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, options}, {LZMA_VLI_UNKNOWN, nullptr}};
        return lzma_raw_decoder(m_lzma.Stream(), filters) == LZMA_OK;
    }

    LzmaStepper m_lzma;
    unsigned char m_header[4 + kPropertiesSize] = {};
    size_t m_headerLength = 0;
    bool m_endMarker;
    uint64_t m_declared;
    bool m_started = false;
};

// One .xz stream; liblzma refuses one whose dictionary needs more than the limit (its own tables come on
// top of the window).
class XzDecoder final : public ZipDecoder
{
public:
    bool Init() { return lzma_stream_decoder(m_lzma.Stream(), kMaxWindow + (uint64_t(16) << 20), 0) == LZMA_OK; }
    DecodeStatus Step(DecodeBuffers& b) override { return m_lzma.Step(b); }

private:
    LzmaStepper m_lzma;
};

// One or more Zstandard frames (multi-threaded writers cut the data into several); a frame whose window
// is larger than the limit is refused by the library.
class ZstdDecoder final : public ZipDecoder
{
public:
    bool Init()
    {
        m_context = ZSTD_createDCtx();
        return m_context && !ZSTD_isError(ZSTD_DCtx_setParameter(m_context, ZSTD_d_windowLogMax, kWindowLog));
    }
    ~ZstdDecoder() override { ZSTD_freeDCtx(m_context); }
    DecodeStatus Step(DecodeBuffers& b) override
    {
        ZSTD_inBuffer input{b.in, b.inLeft, 0};
        ZSTD_outBuffer output{b.out, b.outLeft, 0};
        const size_t status = ZSTD_decompressStream(m_context, &output, &input);
        DeflateDecoder::Advance(b, input.pos, output.pos);
        if (ZSTD_isError(status))
            return DecodeStatus::Damaged;
        // 0: a frame ended and its output is all out; the data ends there or another frame follows.
        if (status == 0 && b.inLeft == 0 && b.inputEnds)
            return DecodeStatus::End;
        return DecodeStatus::Ok;
    }

private:
    static constexpr int kWindowLog = 27;
    static_assert(uint64_t(1) << kWindowLog == kMaxWindow);
    ZSTD_DCtx* m_context = nullptr;
};

template <class Decoder>
std::unique_ptr<ZipDecoder> Ready(std::unique_ptr<Decoder> decoder)
{
    if (!decoder->Init())
        return nullptr;
    return decoder;
}

} // namespace

bool IsReadableMethod(uint16_t method)
{
    switch (method) {
    case kMethodStored:
    case kMethodDeflated:
    case kMethodBZip2:
    case kMethodLzma:
    case kMethodZstdOld:
    case kMethodZstd:
    case kMethodXz:
        return true;
    default:
        return false;
    }
}

std::unique_ptr<ZipDecoder> MakeZipDecoder(uint16_t method, uint16_t flags, uint64_t declaredSize)
{
    switch (method) {
    case kMethodStored:
        return std::make_unique<StoredDecoder>();
    case kMethodDeflated:
        return Ready(std::make_unique<DeflateDecoder>());
    case kMethodBZip2:
        return Ready(std::make_unique<BZip2Decoder>());
    case kMethodLzma:
        return std::make_unique<LzmaDecoder>(flags, declaredSize);
    case kMethodZstdOld:
    case kMethodZstd:
        return Ready(std::make_unique<ZstdDecoder>());
    case kMethodXz:
        return Ready(std::make_unique<XzDecoder>());
    default:
        return nullptr;
    }
}

} // namespace zelvano::zip
