#include "unpack/imagecheck.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>

#include <jerror.h> // the message codes
#include <jpeglib.h>
#include <zlib.h>

namespace {

// Files up to this size are read into memory whole; larger ones are mapped. Either way the checks get one
// contiguous buffer and walk it without copies.
constexpr qint64 kReadWholeLimit = qint64(16) * 1024 * 1024;

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

// ---- JPEG

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
// after a warning that the file was cut off.
struct JpegSource
{
    jpeg_source_mgr pub; // first, so the decoder's source pointer is also a pointer to this
    const JOCTET* next;
    size_t left;
};

constexpr size_t kJpegPiece = 256;
const JOCTET kJpegEnd[2] = {0xFF, JPEG_EOI};

void JpegSourceNoop(j_decompress_ptr) {}

boolean JpegFill(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    if (src->left == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->pub.next_input_byte = kJpegEnd;
        src->pub.bytes_in_buffer = sizeof kJpegEnd;
        return TRUE;
    }
    const size_t n = src->left < kJpegPiece ? src->left : kJpegPiece;
    src->pub.next_input_byte = src->next;
    src->pub.bytes_in_buffer = n;
    src->next += n;
    src->left -= n;
    return TRUE;
}

void JpegSkip(j_decompress_ptr cinfo, long count)
{
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    if (count <= 0)
        return;
    size_t n = size_t(count);
    if (n > src->pub.bytes_in_buffer) {
        n -= src->pub.bytes_in_buffer;
        src->pub.bytes_in_buffer = 0;
        const size_t skipped = n < src->left ? n : src->left;
        src->next += skipped;
        src->left -= skipped;
        JpegFill(cinfo); // past the end: warns
        if (skipped < n)
            return;
        n = 0;
    }
    src->pub.next_input_byte += n;
    src->pub.bytes_in_buffer -= n;
}

// Decodes the whole JPEG at an eighth of its size in grey: an eighth is what the decoder makes straight
// from the coded blocks (only their first coefficient goes into a pixel), and grey output skips the colour
// work, while every coded block of every component is still entropy-decoded, which is what proves the data
// whole. Only plain C objects live in this frame, so the jump out of the decoder skips no destructor.
bool JpegDecodes(const uchar* data, qsizetype size)
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
    source.pub.init_source = JpegSourceNoop;
    source.pub.fill_input_buffer = JpegFill;
    source.pub.skip_input_data = JpegSkip;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = JpegSourceNoop;
    source.pub.next_input_byte = nullptr;
    source.pub.bytes_in_buffer = 0;
    source.next = data;
    source.left = size_t(size);
    cinfo.src = &source.pub;
    jpeg_read_header(&cinfo, TRUE);
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
bool PngChunksWhole(const uchar* p, qsizetype n)
{
    qsizetype i = 8; // the signature, already matched
    while (n - i >= 12) {
        const quint32 length = Be32(p + i);
        if (length > 0x7FFFFFFFu || qsizetype(length) > n - i - 12)
            return false;
        const uLong crc = crc32_z(0, p + i + 4, z_size_t(length) + 4);
        if (crc != Be32(p + i + 8 + length))
            return false;
        if (std::memcmp(p + i + 4, "IEND", 4) == 0)
            return true;
        i += 12 + qsizetype(length);
    }
    return false;
}

// Every block from the header to the trailer. The reader shows a GIF cut off in its image data with the
// missing part left blank and reports success.
bool GifReachesTrailer(const uchar* p, qsizetype n)
{
    if (n < 13)
        return false;
    qsizetype i = 13;
    if (p[10] & 0x80) // global colour table
        i += qsizetype(3) << ((p[10] & 7) + 1);
    const auto skipSubBlocks = [&]() {
        while (i < n) {
            const uchar length = p[i++];
            if (length == 0)
                return true;
            i += length;
        }
        return false;
    };
    while (i < n) {
        const uchar block = p[i++];
        if (block == 0x3B)
            return true;
        if (block == 0x21) { // extension: label, then sub-blocks
            ++i;
            if (!skipSubBlocks())
                return false;
        } else if (block == 0x2C) { // image: descriptor, local colour table, code size, sub-blocks
            if (n - i < 9)
                return false;
            const uchar flags = p[i + 8];
            i += 9;
            if (flags & 0x80)
                i += qsizetype(3) << ((flags & 7) + 1);
            ++i;
            if (!skipSubBlocks())
                return false;
        } else {
            return false;
        }
    }
    return false;
}

// The pixel data a BMP's header announces is all there. The reader fills rows past the end of the file
// and reports success.
bool BmpDataWhole(const uchar* p, qsizetype n)
{
    if (n < 26)
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

} // namespace

bool LoadsAsPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    // The bytes checked here are the file's own, read back after the extraction wrote them: what is
    // proved is that the file on disk decodes, not only the data that went through the extractor.
    const qint64 size = file.size();
    QByteArray bytes;
    uchar* mapped = nullptr;
    if (size > kReadWholeLimit && (mapped = file.map(0, size)) != nullptr) {
        // No copy: the mapping keeps memory flat whatever the file's size.
        bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size);
    } else {
        bytes = file.readAll(); // a large file that cannot be mapped is read whole as a last resort
    }
    struct Unmap
    {
        QFile& file;
        uchar* mapped;
        ~Unmap()
        {
            if (mapped)
                file.unmap(mapped);
        }
    } unmap{file, mapped};

    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    const auto startsWith = [&](const char* magic, qsizetype length) {
        return n >= length && std::memcmp(p, magic, size_t(length)) == 0;
    };

    if (startsWith("\xFF\xD8\xFF", 3))
        return JpegDecodes(p, n);
    if (startsWith("\x89PNG\r\n\x1A\n", 8) && !PngChunksWhole(p, n))
        return false;
    if ((startsWith("GIF87a", 6) || startsWith("GIF89a", 6)) && !GifReachesTrailer(p, n))
        return false;
    if (startsWith("BM", 2) && !BmpDataWhole(p, n))
        return false;

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    return !image.isNull() && reader.error() == QImageReader::UnknownError;
}
