// Channel logos: any bytes given to the JPEG decoder give a whole picture or none.

#include "channels/jpeg_image.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QImage image = DecodeJpeg(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    FUZZ_CHECK(image.isNull() ||
               (image.format() == QImage::Format_RGB888 && image.width() > 0 && image.height() > 0));
    return 0;
}
