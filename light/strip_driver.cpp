#include "light/strip_driver.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

#include "light/strip_sender.h"
#include "light/strip_sinks.h"

namespace {

std::vector<float> componentsOf(const std::vector<quint32>& colours) {
    std::vector<float> components;
    components.reserve(colours.size() * 3);
    for (const quint32 colour : colours)
        for (int shift : {0, 8, 16}) components.push_back(float((colour >> shift) & 0xFF));
    return components;
}

QList<quint32> coloursOf(const std::vector<float>& components) {
    QList<quint32> colours;
    colours.reserve(qsizetype(components.size() / 3));
    for (size_t at = 0; at + 2 < components.size(); at += 3) {
        const auto component = [&](size_t i) { return quint32(std::lround(components[at + i])) & 0xFF; };
        colours.append(component(0) | component(1) << 8 | component(2) << 16);
    }
    return colours;
}

}  // namespace

StripDriver::StripDriver(const StripSettings& settings, QSize screen, QObject* parent)
    : QObject(parent),
      settings_(settings),
      screen_(screen),
      table_(MakeComponentTable(settings.output.brightnessLimit, settings.output.gamma)),
      blendTimer_(new QTimer(this)),
      repeatTimer_(new QTimer(this)) {
    blendTimer_->setInterval(BlendFrameMs);
    repeatTimer_->setInterval(RepeatMs);
    connect(blendTimer_, &QTimer::timeout, this, &StripDriver::blendStep);
    connect(repeatTimer_, &QTimer::timeout, this, [this] { send(true); });
    relayout();
}

StripDriver::~StripDriver() = default;

bool StripDriver::SameLine(const StripSettings& settings) const {
    const StripOutput& mine = settings_.output;
    const StripOutput& other = settings.output;
    if (mine.kind != other.kind) return false;
    if (mine.kind == StripOutput::Kind::Adalight)
        return mine.serialPort == other.serialPort && mine.baud == other.baud;
    return mine.host == other.host && mine.UdpPort() == other.UdpPort();
}

void StripDriver::Apply(const StripSettings& settings) {
    const bool relaid = settings.layout != settings_.layout;
    settings_ = settings;
    table_ = MakeComponentTable(settings.output.brightnessLimit, settings.output.gamma);
    if (relaid) {
        relayout();
        return;
    }
    if (settings_.output.smoothing == 0 && blendTimer_->isActive()) {
        blendTimer_->stop();
        shown_ = componentsOf(target_);
    }
    send();
}

void StripDriver::SetScreen(QSize screen) {
    if (screen == screen_) return;
    screen_ = screen;
    relayout();
}

QString StripDriver::Fault() const {
    const StripOutput& output = settings_.output;
    if (output.kind == StripOutput::Kind::Adalight && output.serialPort.trimmed().isEmpty())
        return QStringLiteral("Не выбран порт ленты!");
    if (output.kind != StripOutput::Kind::Adalight && output.host.trimmed().isEmpty())
        return QStringLiteral("Не указан адрес ленты!");
    return StripLayoutFault(settings_.layout, screen_);
}

// New areas, and what was shown shown again on them: one colour fills the new strip, the board's zones are
// placed anew; AmbiLight's colours belong to the old areas, and its next tick brings new ones.
void StripDriver::relayout() {
    areas_ = LedAreas(settings_.layout, screen_);
    zones_ = LedZones(areas_, screen_);
    switch (picture_) {
        case Picture::None:
            return;
        case Picture::Colour:
            showNow(std::vector<quint32>(areas_.size(), colour_));
            return;
        case Picture::Board:
            showNow(ZoneColoursOnStrip(board_.Levels(), zones_));
            return;
        case Picture::Screen:
            if (target_.size() == areas_.size()) {
                send();
                return;
            }
            picture_ = Picture::None;
            target_.clear();
            shown_.clear();
            blendTimer_->stop();
            repeatTimer_->stop();
            return;
    }
}

// The board would be set to the colour zone by zone: a command that sets only some zones later (colour
// music's for one side) leaves the others in the colour's levels, as on the board.
void StripDriver::ShowColour(quint32 colour) {
    for (const Zone& zone : Zones) board_.Feed(ZoneCommand(zone, colour));
    picture_ = Picture::Colour;
    off_ = false;
    colour_ = colour & 0xFFFFFF;
    showNow(std::vector<quint32>(areas_.size(), colour_));
}

void StripDriver::ShowCommand(QByteArrayView command, bool blend) {
    if (command.isEmpty()) return;
    board_.Feed(command);
    picture_ = Picture::Board;
    const auto& levels = board_.Levels();
    off_ = !blend && std::all_of(levels.begin(), levels.end(), [](int level) { return level == 0; });
    std::vector<quint32> colours = ZoneColoursOnStrip(board_.Levels(), zones_);
    if (blend)
        blendTo(std::move(colours));
    else
        showNow(std::move(colours));
}

void StripDriver::ShowScreen(std::span<const quint32> colours) {
    picture_ = Picture::Screen;
    off_ = false;
    blendTo(std::vector<quint32>(colours.begin(), colours.end()));
}

void StripDriver::showNow(std::vector<quint32> colours) {
    blendTimer_->stop();
    shown_ = componentsOf(colours);
    target_ = std::move(colours);
    send();
}

// A picture of another size than the one shown (the first one, or after a new layout) is blended in from
// black.
void StripDriver::blendTo(std::vector<quint32> colours) {
    if (settings_.output.smoothing <= 0) {
        showNow(std::move(colours));
        return;
    }
    if (shown_.size() != colours.size() * 3) shown_.assign(colours.size() * 3, 0.0f);
    target_ = std::move(colours);
    if (blendTimer_->isActive()) return;  // the next frame is due anyway
    sinceStep_.invalidate();
    blendStep();
}

void StripDriver::blendStep() {
    // The first frame of a blend comes at once, as one frame's way.
    const double elapsed = sinceStep_.isValid() ? sinceStep_.nsecsElapsed() / 1e6 : double(BlendFrameMs);
    sinceStep_.start();
    const float way = float(std::min(1.0, elapsed / std::max(1, settings_.output.smoothing)));
    const std::vector<float> target = componentsOf(target_);
    bool reached = true;
    for (size_t i = 0; i < shown_.size() && i < target.size(); ++i) {
        shown_[i] += (target[i] - shown_[i]) * way;
        if (std::abs(target[i] - shown_[i]) < 0.5f)
            shown_[i] = target[i];
        else
            reached = false;
    }
    send();
    if (reached)
        blendTimer_->stop();
    else if (!blendTimer_->isActive())
        blendTimer_->start();
}

// A picture that would put the same bytes on the line as the last one is not sent again (a still screen's
// ticks, a colour set twice) but left to the repeat: the line stays free, and a changed picture goes out at
// once instead of waiting for a copy of the last one to pass.
void StripDriver::send(bool repeat) {
    if (failed_ || shown_.empty() || settings_.output.kind == StripOutput::Kind::Board) return;
    const bool adalight = settings_.output.kind == StripOutput::Kind::Adalight;
    QByteArray bytes =
        LedBytes(coloursOf(shown_), adalight ? settings_.output.order : ColourOrder::RGB, table_);
    if (!repeat && sender_ && bytes == lastBytes_) return;
    lastBytes_ = bytes;
    QList<QByteArray> frame;
    if (adalight) {
        if (QByteArray adalightFrame = AdalightFrame(bytes); !adalightFrame.isEmpty())
            frame.append(adalightFrame);
    } else {
        frame = settings_.output.kind == StripOutput::Kind::Wled ? WledPackets(bytes)
                                                                 : DdpPackets(bytes, sequence_);
    }
    if (frame.isEmpty()) return;
    if (!sender_) {
        const StripOutput& output = settings_.output;
        sender_ = std::make_unique<StripSender>(
            adalight ? MakeSerialStripSink(output.serialPort, output.baud)
                     : MakeUdpStripSink(output.host, quint16(output.UdpPort())));
        connect(sender_.get(), &StripSender::Failed, this, &StripDriver::fail);
    }
    sender_->Send(frame);
    if (off_)
        repeatTimer_->stop();
    else
        repeatTimer_->start();
}

void StripDriver::Finish() {
    blendTimer_->stop();
    repeatTimer_->stop();
    if (sender_) sender_->Finish();
}

void StripDriver::fail(const QString& message) {
    if (failed_) return;
    failed_ = true;
    blendTimer_->stop();
    repeatTimer_->stop();
    emit Failed(message);
}
