#include "light/light_controller.h"

#include <QTimer>
#include <exception>
#include <stdexcept>

#include "light/ambilight_zones.h"
#include "light/colour_music.h"
#include "light/light_protocol.h"
#include "light/screen_capture.h"
#include "light/serial_link.h"
#include "light/strip_driver.h"

namespace {

QTimer* makeTimer(QObject* parent, const char* name, int interval) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(interval);
    return timer;
}

QString errorText(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

}  // namespace

LightController::LightController(QObject* parent)
    : QObject(parent),
      link_(new SerialLink(this)),
      ambiLightTimer_(makeTimer(this, "Timer1", TickMs)),
      colourMusicTimer_(makeTimer(this, "TVisual1", ColourMusicMs)) {
    link_->setObjectName(QStringLiteral("ComPort"));
    connect(ambiLightTimer_, &QTimer::timeout, this, &LightController::Timer1Timer);
    connect(colourMusicTimer_, &QTimer::timeout, this, &LightController::TVisual1Timer);
    connect(link_, &SerialLink::DeviceLost, this, &LightController::deviceLost);
}

LightController::~LightController() = default;

void LightController::SetCaptureFactory(CaptureFactory make) {
    makeCapture_ = std::move(make);
}

void LightController::SetScreen(std::function<QRect()> screen) {
    screen_ = std::move(screen);
}

void LightController::SetLevelSource(std::function<quint32()> level) {
    level_ = std::move(level);
}

void LightController::SetModeStore(std::function<void(const QStringList&)> store) {
    storeModes_ = std::move(store);
}

void LightController::SetStrip(const StripSettings& settings) {
    const bool wasOnStrip = onStrip();
    const bool kindChanged = wasOnStrip != (settings.output.kind != StripOutput::Kind::Board);
    // What runs stops on the output it ran on, as the user's stop would stop it.
    if (kindChanged) {
        if (AmbiLightOn()) guarded([&] { StopAmbiLight(true); });
        if (colourMusicOn_) guarded([&] { StopColourMusic(true); });
    }
    strip_ = settings;
    if (driver_ && onStrip() && driver_->SameLine(settings)) {
        driver_->Apply(settings);
    } else {
        dropDriver();
    }
    if (kindChanged && !AmbiLightOn() && !colourMusicOn_)
        setControls(followingPort(controls_, outputReady()));
}

bool LightController::outputReady() const {
    return onStrip() || link_->Connected();
}

QSize LightController::screenSize() const {
    return screen_ ? screen_().size() : QSize();
}

StripDriver& LightController::stripDriver(QSize screen) {
    if (!driver_) {
        driver_ = std::make_unique<StripDriver>(strip_, screen);
        connect(driver_.get(), &StripDriver::Failed, this, &LightController::stripFailed);
    }
    driver_->SetScreen(screen);
    return *driver_;
}

// The line is let go once a stop's all-off has gone out on it, so that a strip left for the board or another
// line goes dark. Deleted from the event loop: the driver may be the one announcing its failure right now.
// Kept as a child meanwhile, so that it goes with the controller.
void LightController::dropDriver() {
    if (!driver_) return;
    driver_->Finish();
    StripDriver* driver = driver_.release();
    driver->setParent(this);
    driver->deleteLater();
}

void LightController::writeCommand(const QByteArray& command, bool blend) {
    if (onStrip())
        stripDriver(screenSize()).ShowCommand(command, blend);
    else
        link_->WriteText(command);
}

// The strip's line failed (announced once by its driver, from the event loop): what runs stops without
// writing more, and the driver goes, so that the next action opens the line anew.
void LightController::stripFailed(const QString& message) {
    if (AmbiLightOn()) StopAmbiLight(false);
    if (colourMusicOn_) StopColourMusic(false);
    dropDriver();
    emit Failed(message);
}

bool LightController::guarded(const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (...) {
        emit Failed(errorText(std::current_exception()));
        return false;
    }
}

bool LightController::ensureOpen() {
    if (onStrip()) {
        const QString fault = stripDriver(screenSize()).Fault();
        if (fault.isEmpty()) return true;
        emit Notice(fault);
        return false;
    }
    if (link_->Connected()) return true;
    emit Notice(QStringLiteral("Программа не подключена к COM порту!"));
    return false;
}

void LightController::setControls(const LightControls& controls) {
    controls_ = controls;
    emit ControlsChanged(controls_);
}

LightControls LightController::followingPort(LightControls controls, bool colourRow) const {
    controls.ambiLightSwitch = outputReady();
    controls.staticColour = colourRow;
    return controls;
}

// The port

void LightController::OpenPort(const QString& name) {
    if (!SerialLink::PortAvailable(name)) {
        emit Notice(QStringLiteral("Данный порт недоступен!"));
        return;
    }
    const bool opened = guarded([&] {
        link_->Port = name;
        link_->SetConnected(true);
    });
    if (!opened) return;
    emit PortChanged(true);
    // On a strip the port does not change what the light controls may do.
    if (!onStrip()) setControls(followingPort(controls_, true));
}

void LightController::ClosePort() {
    guarded([&] { link_->SetConnected(false); });
    emit PortChanged(false);
    if (!onStrip()) setControls(followingPort(controls_, false));
}

bool LightController::PortOpen() const {
    return link_->Connected();
}

QString LightController::PortName() const {
    return link_->Port;
}

// The device is gone and the port already closed. AmbiLight and colour music stop without the all-off that
// cannot reach the board, so that no tick runs into the closed port and reports it again; the port row is
// left as closing it leaves it; then the reason, once.
void LightController::deviceLost(const QString& errorText) {
    if (!onStrip() && AmbiLightOn()) StopAmbiLight(false);
    if (!onStrip() && colourMusicOn_) StopColourMusic(false);
    ClosePort();
    if (!errorText.isEmpty()) emit Failed(errorText);
}

// Static colour

void LightController::Send(const QByteArray& command) {
    if (!ensureOpen()) return;
    guarded([&] { writeCommand(command, false); });
}

void LightController::SetColour(quint32 colour) {
    if (!ensureOpen()) return;
    if (onStrip()) {
        stripDriver(screenSize()).ShowColour(colour);
        emit ColourChanged(colour);
        return;
    }
    const bool sent = guarded([&] {
        for (Zone zone : {LeftLowerZone, LeftUpperZone, RightUpperZone, RightLowerZone})
            link_->WriteText(ZoneCommand(zone, colour));
    });
    if (sent) emit ColourChanged(colour);
}

// AmbiLight

bool LightController::AmbiLightOn() const {
    return ambiLightTimer_->isActive();
}

void LightController::SwitchAmbiLight(const std::optional<QString>& mode,
                                      const std::function<bool()>& endPreview) {
    // A run on a strip stops whatever the strip's state (a layout that no longer fits, say).
    if (!(onStrip() && AmbiLightOn()) && !ensureOpen()) return;
    if (AmbiLightOn()) {
        guarded([&] { StopAmbiLight(true); });
        return;
    }
    // A mode that gives no zone position is refused before anything is sent; a strip needs none.
    if (!mode && !onStrip()) {
        emit Notice(QStringLiteral("Не выбран режим!"));
        return;
    }
    guarded([&] { startAmbiLight(mode.value_or(QString()), endPreview); });
}

void LightController::startAmbiLight(const QString& mode, const std::function<bool()>& endPreview) {
    // Without a comma both parts stay empty, and an empty part is no number. Read once here, so that a tick
    // only places the zones.
    QPoint place;
    if (!onStrip()) {
        const ModeParts parts = SplitMode(mode).value_or(ModeParts{});
        place.setY(ModeNumber(parts.top));
        place.setX(ModeNumber(parts.left));
    }
    if (!capture_) {
        if (!makeCapture_) throw std::runtime_error("No screen capture");
        capture_ = makeCapture_();
    }
    capture_->SetFrameNotice([this] { frameKept(); });

    writeCommand(P1AllOffCommand, false);
    // A preview still shown would be sampled by the ticks; it is gone from the screen only once the windows
    // below it have painted themselves again: the first tick waits for that.
    const bool preview = endPreview && endPreview();
    lastTick_.invalidate();
    ambiLightTimer_->start(preview ? PreviewGoneMs : TickMs);
    mode_ = place;
    emit AmbiLightChanged(true);
    LightControls controls = followingPort(controls_, false);
    controls.modeRow = false;
    setControls(controls);
}

void LightController::StopAmbiLight(bool writeAllOff) {
    ambiLightTimer_->stop();
    if (capture_ && !capture_->Lasting()) capture_.reset();
    emit AmbiLightChanged(false);
    // A failed all-off write ends the stop here: the controls stay locked until AmbiLight is started and
    // stopped again.
    if (writeAllOff) writeCommand(AllOffCommand, false);
    // After a tick that found the port closed, the light row stays locked as the closed port wants it.
    LightControls controls = followingPort(controls_, outputReady());
    controls.modeRow = true;
    setControls(controls);
}

void LightController::CaptureFailed(const QString& message) {
    QMetaObject::invokeMethod(
        this,
        [this, capture = capture_.get(), message] {
            if (capture_.get() != capture || !AmbiLightOn()) return;
            if (guarded([&] { StopAmbiLight(true); })) emit Notice(message);
        },
        Qt::QueuedConnection);
}

// The tick copies four rectangles near the screen's edges, averages each and sends each average to its
// zone. The four zones' commands leave in one write, in the order the zones were captured: the same bytes as
// four writes, for a quarter of the system calls. A capture that fails still lets the zones before it go
// out, as they would have gone out one by one.
void LightController::Timer1Timer() {
    lastTick_.start();
    if (const int interval = timedTickMs(); ambiLightTimer_->interval() != interval)
        ambiLightTimer_->setInterval(interval);
    // Nothing to show yet: the desktop may still be asking the user.
    if (!capture_ || !capture_->Ready()) return;
    if (onStrip()) {
        stripTick();
        return;
    }
    std::exception_ptr error;
    try {
        const QRect screen = screen_ ? screen_() : QRect();
        const auto areas = ZoneAreas(mode_.x(), mode_.y(), screen.width(), screen.height());
        QByteArray frame;
        try {
            capture_->Prepare(screen, areas);
            for (size_t slot = 0; slot < areas.size(); ++slot)
                frame += ZoneCommand(areas[slot].zone, capture_->ZoneColour(int(slot), screen, areas[slot]));
        } catch (...) {
            error = std::current_exception();
        }
        if (!frame.isEmpty()) link_->WriteText(frame);
    } catch (...) {
        error = std::current_exception();
    }
    if (!error) return;
    // A dead line or a failed capture: stop first, so that no later tick fails again while the error is
    // shown once; nothing more is written to the line.
    StopAmbiLight(false);
    emit Failed(errorText(error));
}

// On a strip: each LED's area, cached by the driver for the screen's size and the layout, and their mean
// colours shown. A layout that no longer fits the screen stops AmbiLight saying why; a failed capture stops
// it as on the board.
void LightController::stripTick() {
    const QRect screen = screen_ ? screen_() : QRect();
    StripDriver& strip = stripDriver(screen.size());
    if (const QString fault = strip.Fault(); !fault.isEmpty()) {
        StopAmbiLight(false);
        emit Notice(fault);
        return;
    }
    std::vector<quint32> colours;
    try {
        colours = capture_->LedColours(screen, strip.Areas());
    } catch (...) {
        const QString error = errorText(std::current_exception());
        StopAmbiLight(false);
        emit Failed(error);
        return;
    }
    colours.resize(strip.Areas().size());
    strip.ShowScreen(colours);
}

int LightController::timedTickMs() const {
    return capture_ && capture_->TellsFrames() ? StillTickMs : TickMs;
}

// Before the run's first tick (which may be waiting for a preview to leave the screen) the timer decides.
// Otherwise a new frame is shown at once when the last tick is TickMs or longer ago, or else by the timer set
// to the moment it will be; either way the next timed tick comes a whole interval after the tick that showed
// it. Notices of frames that arrive meanwhile need nothing more: the tick shows the newest frame. Handled
// from the event loop, as a tick that fails ends the capture that sends the notice.
void LightController::frameKept() {
    QMetaObject::invokeMethod(
        this,
        [this, capture = capture_.get()] {
            if (capture_.get() != capture || !AmbiLightOn() || !lastTick_.isValid()) return;
            const qint64 leftNs = qint64(TickMs) * 1000000 - lastTick_.nsecsElapsed();
            if (leftNs <= 0) {
                ambiLightTimer_->start(timedTickMs());
                Timer1Timer();
                return;
            }
            const int leftMs = int((leftNs + 999999) / 1000000);
            if (ambiLightTimer_->remainingTime() > leftMs) ambiLightTimer_->start(leftMs);
        },
        Qt::QueuedConnection);
}

// Colour music: while it runs, every 33 ms the level of the playing stream becomes one light command. It
// keeps the light row and the AmbiLight switch locked meanwhile, and leaves every light dark when switched
// off.

void LightController::SwitchColourMusic() {
    if (!(onStrip() && colourMusicOn_) && !ensureOpen()) return;
    if (colourMusicOn_) {
        guarded([&] { StopColourMusic(true); });
        return;
    }
    colourMusicOn_ = true;
    colourMusicTimer_->start();
    emit ColourMusicChanged(true);
    LightControls controls = followingPort(controls_, false);
    controls.ambiLightSwitch = false;
    setControls(controls);
}

void LightController::StopColourMusic(bool lightsOff) {
    colourMusicOn_ = false;
    colourMusicTimer_->stop();
    emit ColourMusicChanged(false);
    if (lightsOff) writeCommand(AllOffCommand, false);
    // After a tick that found the port closed, the light row and the AmbiLight switch stay locked as the
    // closed port wants them.
    setControls(followingPort(controls_, outputReady()));
}

// A write that fails (the port closed, the board gone) stops colour music before the error is announced, so
// that it is announced once, without the all-off that could not reach the board anyway.
void LightController::TVisual1Timer() {
    const QByteArray command = ColourMusicCommand(level_ ? level_() : 0xFFFFFFFF);
    if (onStrip()) {
        StripDriver& strip = stripDriver(screenSize());
        if (const QString fault = strip.Fault(); !fault.isEmpty()) {
            StopColourMusic(false);
            emit Notice(fault);
            return;
        }
        strip.ShowCommand(command, true);
        return;
    }
    try {
        link_->WriteText(command);  // an empty command writes nothing, but fails on a closed port
    } catch (...) {
        const QString error = errorText(std::current_exception());
        StopColourMusic(false);
        emit Failed(error);
    }
}

// Modes

void LightController::SetModes(const QStringList& modes) {
    modes_ = modes;
    emit ModesChanged(modes_, 0);
}

bool LightController::AddMode(const QString& mode) {
    modes_.append(mode);
    return storeModes(int(modes_.size()));
}

bool LightController::DeleteMode(int index) {
    if (index > 0 && index <= modes_.size()) modes_.removeAt(index - 1);
    return storeModes(-1);
}

bool LightController::storeModes(int chosen) {
    emit ModesChanged(modes_, chosen);
    return guarded([&] {
        if (storeModes_) storeModes_(modes_);
    });
}
