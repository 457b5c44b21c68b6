#include "settings/strip_settings.h"

#include <QLocale>
#include <array>
#include <cmath>

#include "settings/profile_file.h"

namespace {

template <typename T>
struct Word {
    T value;
    const char* text;
};

constexpr std::array<Word<StripOutput::Kind>, 4> kKinds{{{StripOutput::Kind::Board, "Board"},
                                                         {StripOutput::Kind::Adalight, "Adalight"},
                                                         {StripOutput::Kind::Wled, "WLED"},
                                                         {StripOutput::Kind::Ddp, "DDP"}}};
constexpr std::array<Word<ColourOrder>, 6> kOrders{{{ColourOrder::RGB, "RGB"},
                                                    {ColourOrder::RBG, "RBG"},
                                                    {ColourOrder::GRB, "GRB"},
                                                    {ColourOrder::GBR, "GBR"},
                                                    {ColourOrder::BRG, "BRG"},
                                                    {ColourOrder::BGR, "BGR"}}};
constexpr std::array<Word<StripCorner>, 4> kCorners{{{StripCorner::TopLeft, "TopLeft"},
                                                     {StripCorner::TopRight, "TopRight"},
                                                     {StripCorner::BottomRight, "BottomRight"},
                                                     {StripCorner::BottomLeft, "BottomLeft"}}};
constexpr std::array<Word<StripDirection>, 2> kDirections{
    {{StripDirection::Clockwise, "Clockwise"}, {StripDirection::CounterClockwise, "CounterClockwise"}}};

constexpr double kMinGamma = 1.0;
constexpr double kMaxGamma = 3.0;

// Reads one section's keys, each falling back to its own default.
class Reader {
public:
    explicit Reader(const ProfileFile& file) : file_(file) {}

    void Number(const char* key, int& value, int min, int max) const {
        const auto number = ParseProfileInteger(Text(key));
        if (number && *number >= min && *number <= max) value = *number;
    }
    template <typename T, size_t N>
    void OneOf(const char* key, T& value, const std::array<Word<T>, N>& words) const {
        const QString text = Text(key);
        for (const auto& word : words)
            if (text.compare(QLatin1String(word.text), Qt::CaseInsensitive) == 0) value = word.value;
    }
    // A decimal fraction with a point or a comma, kept in hundredths.
    void Fraction(const char* key, double& value, double min, double max) const {
        QString text = Text(key);
        text.replace(u',', u'.');
        bool ok = false;
        const double number = QLocale::c().toDouble(text, &ok);
        if (ok && number >= min && number <= max) value = std::round(number * 100) / 100;
    }
    void String(const char* key, QString& value) const { value = Text(key); }

private:
    QString Text(const char* key) const { return file_.ReadString(kStripSection, QString::fromLatin1(key)); }

    const ProfileFile& file_;
};

template <typename T, size_t N>
QString WordOf(T value, const std::array<Word<T>, N>& words) {
    for (const auto& word : words)
        if (word.value == value) return QLatin1String(word.text);
    return QLatin1String(words.front().text);
}

}  // namespace

StripSettings ReadStripSettings(const ProfileFile& file) {
    const Reader read(file);
    StripSettings settings;
    StripOutput& output = settings.output;
    read.OneOf("Output", output.kind, kKinds);
    read.String("SerialPort", output.serialPort);
    read.Number("Baud", output.baud, StripOutput::MinBaud, StripOutput::MaxBaud);
    read.String("Host", output.host);
    read.Number("UdpPort", output.udpPort, 0, 65535);
    read.OneOf("ColourOrder", output.order, kOrders);
    read.Number("BrightnessLimit", output.brightnessLimit, 1, 100);
    read.Fraction("Gamma", output.gamma, kMinGamma, kMaxGamma);
    read.Number("Smoothing", output.smoothing, 0, StripOutput::MaxSmoothing);

    StripLayout& layout = settings.layout;
    read.Number("LedsTop", layout.top, 0, MaxStripLeds);
    read.Number("LedsRight", layout.right, 0, MaxStripLeds);
    read.Number("LedsBottom", layout.bottom, 0, MaxStripLeds);
    read.Number("LedsLeft", layout.left, 0, MaxStripLeds);
    read.OneOf("StartCorner", layout.start, kCorners);
    read.OneOf("Direction", layout.direction, kDirections);
    read.Number("BottomGap", layout.bottomGap, 0, MaxStripLeds);
    read.Number("Depth", layout.depth, 1, MaxStripDepth);
    return settings;
}

void WriteStripSettings(ProfileFile& file, const StripSettings& settings) {
    const auto write = [&file](const char* key, const QString& value) {
        file.WriteString(kStripSection, QString::fromLatin1(key), value);
    };
    const StripOutput& output = settings.output;
    write("Output", WordOf(output.kind, kKinds));
    write("SerialPort", output.serialPort);
    write("Baud", QString::number(output.baud));
    write("Host", output.host);
    write("UdpPort", QString::number(output.udpPort));
    write("ColourOrder", WordOf(output.order, kOrders));
    write("BrightnessLimit", QString::number(output.brightnessLimit));
    write("Gamma", QString::number(std::round(output.gamma * 100) / 100));
    write("Smoothing", QString::number(output.smoothing));

    const StripLayout& layout = settings.layout;
    write("LedsTop", QString::number(layout.top));
    write("LedsRight", QString::number(layout.right));
    write("LedsBottom", QString::number(layout.bottom));
    write("LedsLeft", QString::number(layout.left));
    write("StartCorner", WordOf(layout.start, kCorners));
    write("Direction", WordOf(layout.direction, kDirections));
    write("BottomGap", QString::number(layout.bottomGap));
    write("Depth", QString::number(layout.depth));
}
