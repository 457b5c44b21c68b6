#pragma once

// JPEG pictures decoded with libjpeg(-turbo). Whatever is not a whole, readable JPEG, be it empty, corrupt,
// truncated, in a colour model that has no RGB form (CMYK) or absurdly large, gives a null image: a bad
// picture never stops the program, and half a picture is never shown as if it were whole.

#include <QByteArray>
#include <QImage>
#include <QString>

// The picture in `data`, in QImage::Format_RGB888, or a null image.
QImage DecodeJpeg(const QByteArray& data);

// The picture in the file at `path` (a Qt resource path such as ":/logos/Channel1.jpg" or a file path), or a
// null image when the file cannot be read or DecodeJpeg refuses its content.
QImage ReadJpegFile(const QString& path);
