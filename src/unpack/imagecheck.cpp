#include "unpack/imagecheck.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSize>

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <memory>

#include <jerror.h> // the message codes
#include <jpeglib.h>
#include <zlib.h>

namespace {

// What one check may keep beside its read buffer: the decoder's own tables and buffers, and for a
// progressive JPEG the coefficients of the whole picture, which it keeps until the last scan (2 bytes for
// each of the 64 coefficients of a block of 64 samples: 2 bytes a sample). A 50-megapixel progressive photo
// with full-resolution colour (three planes of 50 million samples) needs 300 MB of them; 320 MiB lets it
// and anything smaller through, and stops a file that asks for more before the decoder allocates it. Qt's
// readers get the same budget for the picture they decode into, which they count at 4 bytes a pixel: up to
// 80 megapixels (their own default, 128 MB, failed a 36-megapixel scan).
constexpr int kDecoderMemoryMiB = 320;

// No picture has more pixels than this (2^30, about a gigapixel: beyond the largest camera sensors and the
// stitched panoramas that still fit JPEG's 65,500-pixel sides). A header that announces more fails before
// anything is allocated for it.
constexpr quint64 kMaxPixels = quint64(1) << 30;

bool PlausibleSize(quint64 width, quint64 height)
{
    return width > 0 && height > 0 && width * height <= kMaxPixels;
}

quint32 Be32(const uchar* p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}
quint32 Le32(const uchar* p)
{
    return (quint32(p[3]) << 24) | (quint32(p[2]) << 16) | (quint32(p[1]) << 8) | p[0];
}
quint16 Le16(const uchar* p)
{
    return quint16(p[0] | (p[1] << 8));
}

// ---- the file, front to back through one buffer

// Reads of this size keep a check's own memory flat whatever the file's size, and are large enough that
// the system calls cost nothing beside the decoding.
constexpr qint64 kChunk = qint64(512) * 1024;
constexpr qint64 kPeek = 4096;

// The bytes checked are the file's own, read back after the extraction wrote them: what is proved is that
// the file on disk decodes, not only the data that went through the extractor. Skips past the buffer seek
// rather than read, so segments nobody looks into (a JPEG's comments) cost nothing.
class Input
{
public:
    explicit Input(QFile& file)
        : m_file(file), m_size(file.size()), m_buffer(std::make_unique_for_overwrite<uchar[]>(kChunk))
    {}

    // The bytes at hand, after a read when none are left; none at the end of the file or after a read error.
    size_t Fill()
    {
        if (m_left == 0) {
            const qint64 n = m_file.read(reinterpret_cast<char*>(m_buffer.get()), m_readSize);
            m_readSize = std::min(m_readSize * 8, kChunk);
            if (n > 0) {
                m_next = m_buffer.get();
                m_left = size_t(n);
                m_bufferStart = m_read;
                m_bufferSize = n;
                m_read += n;
            }
        }
        return m_left;
    }
    const uchar* Next() const { return m_next; }
    void Take(size_t n)
    {
        m_next += n;
        m_left -= n;
    }
    // The next byte, or -1 at the end of the file.
    int Byte()
    {
        if (Fill() == 0)
            return -1;
        const int c = *m_next;
        Take(1);
        return c;
    }
    // Copies the next n bytes; false when the file ends first.
    bool Read(uchar* out, size_t n)
    {
        while (n > 0) {
            const size_t have = std::min(Fill(), n);
            if (have == 0)
                return false;
            std::memcpy(out, m_next, have);
            Take(have);
            out += have;
            n -= have;
        }
        return true;
    }
    // Moves n bytes on; false when the file ends first.
    bool Skip(quint64 n)
    {
        if (n <= m_left) {
            Take(size_t(n));
            return true;
        }
        n -= m_left;
        m_left = 0;
        if (n > quint64(m_size - m_read)) {
            m_read = m_size;
            m_file.seek(m_size);
            return false;
        }
        m_read += qint64(n);
        m_readSize = kPeek;
        return m_file.seek(m_read);
    }
    bool Rewind()
    {
        if (m_bufferStart == 0 && m_bufferSize == m_size && m_size > 0) { // the whole file is at hand
            m_next = m_buffer.get();
            m_left = size_t(m_size);
            return true;
        }
        m_left = 0;
        m_read = 0;
        return m_file.seek(0);
    }

private:
    QFile& m_file;
    const qint64 m_size;
    std::unique_ptr<uchar[]> m_buffer;
    const uchar* m_next = nullptr;
    size_t m_left = 0;
    qint64 m_read = 0; // the file offset just past the buffer's bytes
    qint64 m_bufferStart = -1;
    qint64 m_bufferSize = 0;
    // After a seek the next reads start small and grow: past a skipped segment often only the next
    // segment's header is wanted before the next seek.
    qint64 m_readSize = kChunk;
};

// ---- JPEG

constexpr int kTem = 0x01;

// The next marker as the decoder finds it: anything up to an 0xFF is skipped, and so are fill bytes (more
// 0xFF) and a stuffed zero (0xFF 0x00, which in coded data is a data byte). -1 at the end of the file.
int JpegNextMarker(Input& in)
{
    for (;;) {
        for (;;) {
            const size_t n = in.Fill();
            if (n == 0)
                return -1;
            const void* ff = std::memchr(in.Next(), 0xFF, n);
            if (ff) {
                in.Take(size_t(static_cast<const uchar*>(ff) - in.Next()) + 1);
                break;
            }
            in.Take(n);
        }
        int c;
        do
            c = in.Byte();
        while (c == 0xFF);
        if (c != 0)
            return c;
    }
}

// Follows the segments from the start to the end-of-image marker by their lengths, and looks through coded
// data only for the marker that ends it (restart markers are part of it, and pass like any marker without a
// segment). It costs a read of the coded data and no decoding: about 0.2 ms of CPU a megabyte (300 MB in
// 0.06 s), where the decoder takes 9 ms a megabyte of a baseline photo and 50 of a progressive one. So a
// file that was cut off (a segment or the coded data stops, the end marker is missing) fails before the
// decoder starts. It skips what the decoder skips with no more than a warning (stray bytes between
// segments, fill bytes) and stops at the end marker, so it never fails a file the decoder takes as whole;
// what it lets through (a bad code, an end marker inside the coded data) is the decoder's to find.
bool JpegReachesEnd(Input& in)
{
    if (!in.Skip(2)) // the start-of-image marker, already matched
        return false;
    int marker = JpegNextMarker(in);
    for (;;) {
        if (marker < 0)
            return false;
        if (marker == JPEG_EOI)
            return true;
        if (marker == 0xD8 || marker == kTem || (marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7)) {
            marker = JpegNextMarker(in); // a marker without a segment
            continue;
        }
        uchar length[2];
        if (!in.Read(length, 2))
            return false;
        const int n = (length[0] << 8) | length[1];
        if (n < 2 || !in.Skip(quint64(n - 2)))
            return false;
        // After a scan header this passes over the scan's coded data, where every 0xFF is followed by a
        // zero or a restart marker, up to the marker that ends it.
        marker = JpegNextMarker(in);
    }
}

struct JpegErrors
{
    jpeg_error_mgr mgr; // first, so the decoder's error pointer is also a pointer to this
    std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
}

// The decoder reports damage it works around as warnings and carries on. Only the warnings that lose no
// picture data pass; every other one (cut-off data, a bad Huffman or arithmetic code, a marker where coded
// data should be, a lost restart marker, a broken scan sequence) ends the decoding as a failure.
void JpegMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace output
    switch (cinfo->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA: // stray bytes between two segments: skipped, nothing is missing
    case JWRN_JFIF_MAJOR:      // a newer JFIF revision
    case JWRN_ADOBE_XFORM:     // an unknown colour transform code: the decoder picks one
    case JWRN_BOGUS_ICC:       // a broken colour profile: the pixels are whole
        return;
    default:
        JpegFail(cinfo);
    }
}

// Hands the data to the decoder in pieces smaller than its fast Huffman path asks for (512 bytes per block
// of a coding unit): that path decodes a bad code as zero without a word, the careful one reports it, for
// a few per cent more decoding time. Past the end the decoder gets the end-of-image marker it expects,
// after a warning that the file was cut off. Segments the decoder skips (comments, unknown application
// data: none is kept, since no marker is saved) are skipped by a seek.
struct JpegSource
{
    jpeg_source_mgr pub; // first, so the decoder's source pointer is also a pointer to this
    Input* in;
};

constexpr size_t kJpegPiece = 256;
const JOCTET kJpegEnd[2] = {0xFF, JPEG_EOI};

void JpegSourceNoop(j_decompress_ptr) {}

boolean JpegFill(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    const size_t n = std::min(src->in->Fill(), kJpegPiece);
    if (n == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->pub.next_input_byte = kJpegEnd;
        src->pub.bytes_in_buffer = sizeof kJpegEnd;
        return TRUE;
    }
    src->pub.next_input_byte = src->in->Next();
    src->pub.bytes_in_buffer = n;
    src->in->Take(n); // the bytes stay where they are until the decoder asks for more
    return TRUE;
}

void JpegSkip(j_decompress_ptr cinfo, long count)
{
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    if (count <= 0)
        return;
    if (size_t(count) <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= size_t(count);
        return;
    }
    const quint64 rest = quint64(count) - src->pub.bytes_in_buffer;
    src->pub.bytes_in_buffer = 0;
    if (!src->in->Skip(rest))
        JpegFill(cinfo); // past the end: warns
}

// Entropy-decodes every coded block of every component, which is what proves the data whole, and makes as
// few pixels as the decoder allows: the lines are skipped (a skipped line's blocks are decoded and dropped,
// without the inverse DCT), and the last one, which must be read, comes out at an eighth of its size in grey.
// Measured on twenty 4000 x 3000 photos (baseline, as cameras write them), in CPU seconds: this takes 0.97
// of the time of reading every line at an eighth, and the coefficient read (jpeg_read_coefficients) 1.18,
// since it stores the coefficients of the whole picture, 36 MB for each of these photos, where the other two
// keep one row of blocks. On progressive pictures, which keep every coefficient whichever way they are read,
// the three are within 6% of each other. Only plain C objects live in this frame, so the jump out of the
// decoder skips no destructor.
bool JpegDecodes(Input& in)
{
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
    JpegSource source;
    cinfo.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = JpegFail;
    errors.mgr.emit_message = JpegMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    // Larger needs (the coefficients of a large progressive picture) fail instead of being allocated.
    cinfo.mem->max_memory_to_use = long(kDecoderMemoryMiB) * 1024 * 1024;
    source.pub.init_source = JpegSourceNoop;
    source.pub.fill_input_buffer = JpegFill;
    source.pub.skip_input_data = JpegSkip;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = JpegSourceNoop;
    source.pub.next_input_byte = nullptr;
    source.pub.bytes_in_buffer = 0;
    source.in = &in;
    cinfo.src = &source.pub;
    jpeg_read_header(&cinfo, TRUE);
    // Before anything the size of the picture is allocated.
    if (!PlausibleSize(cinfo.image_width, cinfo.image_height)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.dct_method = JDCT_IFAST;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.do_block_smoothing = FALSE;
    if (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_GRAYSCALE)
        cinfo.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&cinfo);
    // Freed with the decompressor, also on the failure path.
    JSAMPARRAY rows =
        (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                   cinfo.output_width * cinfo.output_components, JDIMENSION(cinfo.rec_outbuf_height));
    // Skipping every line would mark the input as read without decoding the rest of it.
    if (cinfo.output_height > 1)
        jpeg_skip_scanlines(&cinfo, cinfo.output_height - 1);
    while (cinfo.output_scanline < cinfo.output_height)
        jpeg_read_scanlines(&cinfo, rows, JDIMENSION(cinfo.rec_outbuf_height));
    // Reads on to the end-of-image marker: a file without one fails here.
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// ---- the formats whose readers let lost data through

// Every chunk from the signature to IEND, each with a matching CRC. The reader checks the CRCs of the
// chunks it needs but skips a damaged ancillary chunk, and it stops before IEND.
bool PngChunksWhole(Input& in)
{
    if (!in.Skip(8)) // the signature, already matched
        return false;
    for (;;) {
        uchar head[8];
        if (!in.Read(head, 8))
            return false;
        quint32 left = Be32(head);
        if (left > 0x7FFFFFFFu)
            return false;
        uLong crc = crc32_z(0, head + 4, 4);
        while (left > 0) {
            const size_t n = std::min(in.Fill(), size_t(left));
            if (n == 0)
                return false;
            crc = crc32_z(crc, in.Next(), n);
            in.Take(n);
            left -= quint32(n);
        }
        uchar stored[4];
        if (!in.Read(stored, 4) || crc != Be32(stored))
            return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            return true;
    }
}

// Every block from the header to the trailer. The reader shows a GIF cut off in its image data with the
// missing part left blank and reports success.
bool GifReachesTrailer(Input& in)
{
    uchar header[13];
    if (!in.Read(header, sizeof header))
        return false;
    if ((header[10] & 0x80) && !in.Skip(quint64(3) << ((header[10] & 7) + 1))) // global colour table
        return false;
    const auto skipSubBlocks = [&in]() {
        for (;;) {
            const int length = in.Byte();
            if (length <= 0)
                return length == 0;
            if (!in.Skip(quint64(length)))
                return false;
        }
    };
    for (;;) {
        const int block = in.Byte();
        if (block == 0x3B)
            return true;
        if (block == 0x21) { // extension: label, then sub-blocks
            if (in.Byte() < 0 || !skipSubBlocks())
                return false;
        } else if (block == 0x2C) { // image: descriptor, local colour table, code size, sub-blocks
            uchar descriptor[9];
            if (!in.Read(descriptor, sizeof descriptor))
                return false;
            if ((descriptor[8] & 0x80) && !in.Skip(quint64(3) << ((descriptor[8] & 7) + 1)))
                return false;
            if (in.Byte() < 0 || !skipSubBlocks())
                return false;
        } else {
            return false;
        }
    }
}

// The pixel data a BMP's header announces is all there. The reader fills rows past the end of the file
// and reports success.
bool BmpDataWhole(Input& in, qint64 n)
{
    uchar p[54] = {};
    if (n < 26 || !in.Read(p, size_t(std::min<qint64>(n, sizeof p))))
        return false;
    const qint64 offset = Le32(p + 10);
    const quint32 header = Le32(p + 14);
    qint64 width = 0, height = 0, bits = 0;
    quint32 compression = 0, imageSize = 0;
    if (header == 12) { // the old OS/2 header
        width = Le16(p + 18);
        height = Le16(p + 20);
        bits = Le16(p + 24);
    } else if (header >= 40 && n >= 54) {
        width = qint32(Le32(p + 18));
        height = qint32(Le32(p + 22));
        bits = Le16(p + 28);
        compression = Le32(p + 30);
        imageSize = Le32(p + 34);
    } else {
        return false;
    }
    if (width <= 0 || height == 0)
        return false;
    if (height < 0) // top-down rows
        height = -height;
    switch (compression) {
    case 0: // plain rows
    case 3: // rows with bit-field masks
    case 6: {
        const qint64 stride = (width * bits + 31) / 32 * 4;
        return offset + stride * height <= n;
    }
    case 1: // run-length coded: the header gives the coded size
    case 2:
        return imageSize > 0 && offset + imageSize <= n;
    default:
        return true; // what the reader cannot read fails there
    }
}

// ---- Qt's readers

// The file as Qt's readers see it: plain reads, so that the TIFF reader, which maps a file device whole,
// reads it instead and the pages it touches do not count as the process's memory.
class PlainReads : public QIODevice
{
public:
    explicit PlainReads(QFile& file) : m_file(file) {}
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_file.size(); }
    bool seek(qint64 pos) override { return QIODevice::seek(pos) && m_file.seek(pos); }

protected:
    qint64 readData(char* data, qint64 maxSize) override { return m_file.read(data, maxSize); }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QFile& m_file;
};

// The reader for the type the content starts with; no plugin is asked to guess. Nothing for a content no
// known picture type starts with.
const char* QtFormat(const uchar* p, size_t n)
{
    const auto startsWith = [&](const void* magic, size_t length, size_t at = 0) {
        return n >= at + length && std::memcmp(p + at, magic, length) == 0;
    };
    static const uchar tiffIntel[] = {'I', 'I', 42, 0};
    static const uchar tiffMotorola[] = {'M', 'M', 0, 42};
    if (startsWith("\x89PNG\r\n\x1A\n", 8))
        return "png";
    if (startsWith("GIF87a", 6) || startsWith("GIF89a", 6))
        return "gif";
    if (startsWith("BM", 2))
        return "bmp";
    if (startsWith(tiffIntel, 4) || startsWith(tiffMotorola, 4))
        return "tiff";
    if (startsWith("RIFF", 4) && startsWith("WEBP", 4, 8))
        return "webp";
    return nullptr;
}

bool QtReads(QFile& file, const char* format)
{
    // Process-wide, set once: a picture that needs more fails instead of being allocated.
    static const bool limited = [] {
        QImageReader::setAllocationLimit(kDecoderMemoryMiB);
        return true;
    }();
    Q_UNUSED(limited);

    PlainReads device(file);
    if (!file.seek(0) || !device.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    QImageReader reader(&device, format);
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && !PlausibleSize(quint64(size.width()), quint64(size.height())))
        return false;
    const QImage image = reader.read();
    return !image.isNull() && reader.error() == QImageReader::UnknownError;
}

} // namespace

bool LoadsAsPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    Input in(file);
    uchar magic[12] = {};
    const size_t n = std::min(in.Fill(), sizeof magic);
    if (n > 0)
        std::memcpy(magic, in.Next(), n);

    if (n >= 3 && std::memcmp(magic, "\xFF\xD8\xFF", 3) == 0)
        return JpegReachesEnd(in) && in.Rewind() && JpegDecodes(in);

    const char* format = QtFormat(magic, n);
    if (!format)
        return false;
    if (std::strcmp(format, "png") == 0 && !PngChunksWhole(in))
        return false;
    if (std::strcmp(format, "gif") == 0 && !GifReachesTrailer(in))
        return false;
    if (std::strcmp(format, "bmp") == 0 && !BmpDataWhole(in, file.size()))
        return false;
    return QtReads(file, format);
}

QString JpegLibraryName()
{
#if defined(LIBJPEG_TURBO_VERSION)
#define ZELVANO_STRINGIFY2(x) #x
#define ZELVANO_STRINGIFY(x) ZELVANO_STRINGIFY2(x)
    return QStringLiteral("libjpeg-turbo " ZELVANO_STRINGIFY(LIBJPEG_TURBO_VERSION));
#else
    return QStringLiteral("libjpeg %1").arg(JPEG_LIB_VERSION);
#endif
}
