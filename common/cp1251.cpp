#include "common/cp1251.h"

#include <iconv.h>

#include <QtEndian>
#include <cstring>
#include <stdexcept>

namespace {

constexpr const char* kUtf16 = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "UTF-16LE" : "UTF-16BE";
constexpr char16_t kUnassignedChar = 0x98;  // the code page's hole, kept as the character of the same number
constexpr char kUnassignedByte = '\x98';

// One conversion direction of iconv, closed when it goes out of scope.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert code page 1251");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as it can; returns false where the input holds a character it cannot convert (the
    // output always has room: one byte for one UTF-16 unit either way).
    bool Convert(char*& in, size_t& inLeft, char*& out, size_t& outLeft) {
        return iconv(cd_, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    }

private:
    iconv_t cd_;
};

}  // namespace

namespace cp1251 {

QString Decode(QByteArrayView bytes) {
    static thread_local Converter converter(kUtf16, "CP1251");
    QString text(bytes.size(), Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* out = reinterpret_cast<char*>(text.data());
    size_t outLeft = text.size() * sizeof(char16_t);
    while (inLeft > 0) {
        if (converter.Convert(in, inLeft, out, outLeft)) break;
        // A byte without a character: keep it as the character of the same number.
        const char16_t c = static_cast<unsigned char>(*in);
        std::memcpy(out, &c, sizeof c);
        out += sizeof c;
        outLeft -= sizeof c;
        ++in;
        --inLeft;
    }
    text.truncate(text.size() - outLeft / sizeof(char16_t));
    return text;
}

QByteArray Encode(QStringView text) {
    static thread_local Converter converter("CP1251", kUtf16);
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* in = reinterpret_cast<char*>(const_cast<QChar*>(text.data()));
    size_t inLeft = text.size() * sizeof(char16_t);
    char* out = bytes.data();
    size_t outLeft = bytes.size();
    while (inLeft > 0) {
        if (converter.Convert(in, inLeft, out, outLeft)) break;
        // A character the code page cannot hold: one "?" for it (a surrogate pair is one character).
        char16_t c;
        std::memcpy(&c, in, sizeof c);
        size_t width = sizeof c;
        if (QChar::isHighSurrogate(c) && inLeft >= 2 * sizeof c) {
            char16_t low;
            std::memcpy(&low, in + sizeof c, sizeof low);
            if (QChar::isLowSurrogate(low)) width *= 2;
        }
        *out++ = c == kUnassignedChar ? kUnassignedByte : '?';
        --outLeft;
        in += width;
        inLeft -= width;
    }
    bytes.truncate(bytes.size() - outLeft);
    return bytes;
}

}  // namespace cp1251
