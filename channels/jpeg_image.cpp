#include "channels/jpeg_image.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// Pictures larger than this are refused as soon as their header is read, before libjpeg or we take any pixel
// memory (a corrupt header can claim 65535 × 65535).
constexpr quint64 MaxPixels = quint64{64} << 20;
// libjpeg's own memory: enough for a progressive picture of MaxPixels in three components (two bytes a
// coefficient), and a limit for whatever else a header may claim.
constexpr long MaxDecoderMemory = long{8} * MaxPixels;

// libjpeg's own error manager ends the process on a fatal error and prints warnings on standard error. Ours
// jumps back to the decoding step that failed and counts warnings silently: a warning means damaged data (a
// truncated file is padded with a made-up end marker and only warned about), so any warning refuses the
// picture.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf failed;
};

[[noreturn]] void jumpOut(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->failed, 1);
}

void countWarning(j_common_ptr info, int level) {
    if (level < 0) ++info->err->num_warnings;
}

void printNothing(j_common_ptr) {}

// The two steps below hold only plain C state, so that a jump out of libjpeg skips no C++ destructor. Each
// answers false when libjpeg failed inside it.

bool startDecoding(ErrorManager& errors, jpeg_decompress_struct& info, const QByteArray& data) {
    if (setjmp(errors.failed)) return false;
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = MaxDecoderMemory;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK ||
        quint64{info.image_width} * info.image_height > MaxPixels)
        return false;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    return info.output_components == 3;
}

bool readRows(ErrorManager& errors, jpeg_decompress_struct& info, uchar* pixels, qsizetype bytesPerLine) {
    if (setjmp(errors.failed)) return false;
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + bytesPerLine * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
    ErrorManager errors{};
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpOut;
    errors.base.emit_message = countWarning;
    errors.base.output_message = printNothing;

    QImage image;
    bool whole = !data.isEmpty() && startDecoding(errors, info, data);
    if (whole) {
        image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                       QImage::Format_RGB888);
        whole = !image.isNull() && readRows(errors, info, image.bits(), image.bytesPerLine());
    }
    whole = whole && errors.base.num_warnings == 0;
    jpeg_destroy_decompress(&info);  // also right when creation failed: it frees only what exists
    return whole ? image : QImage();
}

QImage ReadJpegFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return DecodeJpeg(file.readAll());
}
