// The helper of bench_picturecheck.sh.
//
//   bench_picturecheck check FILE...                 LoadsAsPicture on each file: verdict, seconds, peak memory
//   bench_picturecheck pad OUT JPEG BYTES            JPEG with BYTES of comment segments after its start marker
//   bench_picturecheck progressive OUT WIDTH HEIGHT  a progressive JPEG with full-resolution colour
//   bench_picturecheck decoders ROUNDS FILE...       the three ways of a complete entropy decode, timed
//
// The decoders mode reads every file into memory first and hands each decoder the same 256-byte pieces
// and the same warning rule as the picture check, so the figures differ only in the decoding.
#include "unpack/imagecheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <random>
#include <sys/resource.h>
#include <time.h>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int Check(int argc, char** argv)
{
    int failed = 0;
    for (int i = 2; i < argc; ++i) {
        const long before = PeakKiB();
        QElapsedTimer timer;
        timer.start();
        const bool loads = LoadsAsPicture(QString::fromLocal8Bit(argv[i]));
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("%s %s %.3f s, peak %ld KiB (%ld KiB before the check)\n", argv[i], loads ? "loads" : "fails",
                    seconds, PeakKiB(), before);
        failed += loads ? 0 : 1;
    }
    return failed == 0 ? 0 : 3;
}

int Pad(const char* out, const char* jpeg, long long bytes)
{
    QFile in(QString::fromLocal8Bit(jpeg));
    QFile file(QString::fromLocal8Bit(out));
    if (!in.open(QIODevice::ReadOnly) || !file.open(QIODevice::WriteOnly))
        return 1;
    const QByteArray picture = in.readAll();
    if (!picture.startsWith("\xFF\xD8"))
        return 1;
    file.write(picture.left(2));
    QByteArray segment(65537, 'c');
    segment[0] = char(0xFF);
    segment[1] = char(0xFE);
    for (long long left = bytes; left > 0;) {
        const int payload = int(std::min<long long>(left, segment.size()) - 4);
        if (payload < 0)
            break;
        segment[2] = char((payload + 2) >> 8);
        segment[3] = char((payload + 2) & 0xFF);
        if (file.write(segment.constData(), payload + 4) != payload + 4)
            return 1;
        left -= payload + 4;
    }
    file.write(picture.mid(2));
    return file.flush() ? 0 : 1;
}

int Progressive(const char* out, int width, int height)
{
    FILE* file = std::fopen(out, "wb");
    if (!file)
        return 1;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    for (int c = 0; c < 3; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    std::minstd_rand random(7);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const int grain = int(random() % 25) - 12;
            row[size_t(x) * 3 + 0] = JSAMPLE(std::clamp(x * 255 / width + grain, 0, 255));
            row[size_t(x) * 3 + 1] = JSAMPLE(std::clamp(y * 255 / height + grain, 0, 255));
            row[size_t(x) * 3 + 2] = JSAMPLE(std::clamp(((x ^ y) & 255) / 2 + 64 + grain, 0, 255));
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0 ? 0 : 1;
}

// ---- the three decodes, each from memory in the picture check's pieces

struct Errors
{
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void Fail(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->jump, 1);
}

void Message(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
        return;
    default:
        Fail(cinfo);
    }
}

struct Source
{
    jpeg_source_mgr pub;
    const JOCTET* next;
    size_t left;
};

const JOCTET kEnd[2] = {0xFF, JPEG_EOI};

void Noop(j_decompress_ptr) {}

boolean Fill(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    if (src->left == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->pub.next_input_byte = kEnd;
        src->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    const size_t n = std::min<size_t>(src->left, 256);
    src->pub.next_input_byte = src->next;
    src->pub.bytes_in_buffer = n;
    src->next += n;
    src->left -= n;
    return TRUE;
}

void SkipData(j_decompress_ptr cinfo, long count)
{
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    while (count > long(src->pub.bytes_in_buffer)) {
        count -= long(src->pub.bytes_in_buffer);
        Fill(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= size_t(count);
}

enum Method
{
    Scaled,
    Skipped,
    Coefficients,
    MethodCount
};
const char* const kMethodNames[] = {"DCT scaling 1/8", "jpeg_skip_scanlines", "jpeg_read_coefficients"};

bool Decode(const QByteArray& bytes, Method method)
{
    jpeg_decompress_struct cinfo;
    Errors errors;
    Source source;
    cinfo.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = Fail;
    errors.mgr.emit_message = Message;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    source.pub.init_source = Noop;
    source.pub.fill_input_buffer = Fill;
    source.pub.skip_input_data = SkipData;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = Noop;
    source.pub.next_input_byte = nullptr;
    source.pub.bytes_in_buffer = 0;
    source.next = reinterpret_cast<const JOCTET*>(bytes.constData());
    source.left = size_t(bytes.size());
    cinfo.src = &source.pub;
    jpeg_read_header(&cinfo, TRUE);
    if (method == Coefficients) {
        jpeg_read_coefficients(&cinfo);
    } else {
        cinfo.scale_num = 1;
        cinfo.scale_denom = 8;
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.do_block_smoothing = FALSE;
        if (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_GRAYSCALE)
            cinfo.out_color_space = JCS_GRAYSCALE;
        jpeg_start_decompress(&cinfo);
        JSAMPARRAY rows = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                     cinfo.output_width * cinfo.output_components,
                                                     JDIMENSION(cinfo.rec_outbuf_height));
        // Skipping every line would mark the input as read without decoding it: the last line is read.
        if (method == Skipped && cinfo.output_height > 1)
            jpeg_skip_scanlines(&cinfo, cinfo.output_height - 1);
        while (cinfo.output_scanline < cinfo.output_height)
            jpeg_read_scanlines(&cinfo, rows, JDIMENSION(cinfo.rec_outbuf_height));
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

int Decoders(int rounds, int argc, char** argv, int first)
{
    std::vector<QByteArray> files;
    qint64 total = 0;
    for (int i = first; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        files.push_back(file.readAll());
        total += files.back().size();
    }
    // CPU seconds of this thread beside the wall time: the machine may be busy with other work.
    const auto cpuNow = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    };
    std::vector<std::vector<double>> seconds(MethodCount), cpu(MethodCount);
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < MethodCount; ++k) {
            const auto method = Method((round + k) % MethodCount); // the order rotates every round
            QElapsedTimer timer;
            timer.start();
            const double cpuStart = cpuNow();
            for (const QByteArray& bytes : files) {
                if (!Decode(bytes, method)) {
                    std::printf("%s fails a whole file\n", kMethodNames[method]);
                    return 3;
                }
            }
            seconds[method].push_back(double(timer.nsecsElapsed()) / 1e9);
            cpu[method].push_back(cpuNow() - cpuStart);
        }
    }
    std::printf("%zu JPEGs, %.1f MB, %d rounds, median per round:\n", files.size(), double(total) / 1e6, rounds);
    const auto median = [](std::vector<double> s) {
        std::sort(s.begin(), s.end());
        return s[s.size() / 2];
    };
    const double base = median(cpu[0]);
    for (int k = 0; k < MethodCount; ++k) {
        const double wall = median(seconds[k]);
        const double used = median(cpu[k]);
        std::printf("  %-24s %7.3f s wall %7.3f s CPU  %6.1f MB/s of CPU  %.2f of the first\n", kMethodNames[k], wall,
                    used, double(total) / 1e6 / used, used / base);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "check" && argc > 2)
        return Check(argc, argv);
    if (mode == "pad" && argc == 5)
        return Pad(argv[2], argv[3], std::atoll(argv[4]));
    if (mode == "progressive" && argc == 5)
        return Progressive(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (mode == "decoders" && argc > 3)
        return Decoders(std::max(1, std::atoi(argv[2])), argc, argv, 3);
    std::fprintf(stderr, "usage: bench_picturecheck check FILE... | pad OUT JPEG BYTES | "
                         "progressive OUT WIDTH HEIGHT | decoders ROUNDS FILE...\n");
    return 2;
}
