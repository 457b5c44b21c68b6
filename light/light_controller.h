#pragma once

// The lights: the serial link to the board and its port, the static colour, AmbiLight (the tick that sends
// the screen's edges zone by zone), colour music (the playing stream's level as light) and the user's
// AmbiLight modes. It owns their state and tells the windows of every change; the windows only show it and
// pass the user's actions on.
//
// Every action a user or the remote starts first checks the port: with the port closed it says "Программа не
// подключена к COM порту!" (Notice) and does nothing else. Errors, also those of the ticks and of a device
// gone, are announced by Failed, each once; nothing is raised to the caller.
//
// The light goes to the board, or to an LED strip when the strip's settings name one (see StripDriver). On a
// strip the actions need no port; they check instead that the strip can be lit (a port or host named, a
// layout that fits the screen) and otherwise say why. Everything the board would be sent goes to the strip
// as the same command: the all-off of every stop, the remote's commands, colour music's. The static colour
// fills the strip with its full 8 bits, and AmbiLight gives each LED its own area's mean colour, whatever
// the mode (which places the board's zones only). A failed strip line stops what runs, without writing more,
// and is announced once; the next action opens the line anew.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "light/strip_output.h"

class QTimer;
class ScreenCapture;
class SerialLink;
class StripDriver;

// Which light controls may be used now.
struct LightControls {
    bool modeRow = true;           // the mode list, "обзор", "новый" and the colour music button
    bool ambiLightSwitch = false;  // the AmbiLight switch: usable while the port is open
    bool staticColour = false;  // the colour box, "обзор" and "выкл. подсветку" of the light row
    bool operator==(const LightControls&) const = default;
};

class LightController final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LightController)

public:
    using CaptureFactory = std::function<std::unique_ptr<ScreenCapture>()>;

    // The tick runs at most once per TickMs. A capture that tells of its new frames has each new frame shown
    // at once within that rate, and the timer repeats its last frame only every StillTickMs: a repeat would
    // otherwise take the turn of the next new frame, which then waits for up to a whole TickMs.
    static constexpr int TickMs = 10;
    static constexpr int StillTickMs = 250;
    static constexpr int PreviewGoneMs = 100;  // the first tick's wait for a preview to leave the screen
    static constexpr int ColourMusicMs = 33;

    explicit LightController(QObject* parent = nullptr);
    ~LightController() override;

    // What the controller takes from the program. The capture is made at AmbiLight's first start (and anew
    // at each start after one that did not last); the screen is the area the zones are placed on, in the
    // capture's pixels; the level is the playing stream's, as the audio library gives it (0xFFFF on both
    // channels when nothing plays); the store keeps the user's modes and raises what stopped it.
    void SetCaptureFactory(CaptureFactory make);
    void SetScreen(std::function<QRect()> screen);
    void SetLevelSource(std::function<quint32()> level);
    void SetModeStore(std::function<void(const QStringList&)> store);

    // Where the light goes: the board (the output Board) or a strip. A new line (another kind of output,
    // port, rate, host or UDP port) is opened with the next picture; the colour order, limit, gamma,
    // smoothing and layout apply at once. Switching between the board and a strip stops what runs, with
    // the all-off on the output it ran on.
    void SetStrip(const StripSettings& settings);

    // The port. OpenPort refuses, with "Данный порт недоступен!", a port that cannot be opened exclusively
    // right now (one this program holds too); ClosePort always leaves the port row as closed.
    void OpenPort(const QString& name);
    void ClosePort();
    bool PortOpen() const;
    QString PortName() const;

    // Sends `command` as a user's action does, after the port check.
    void Send(const QByteArray& command);
    // The static colour (0x00BBGGRR) to all four zones, one command each; a failed write ends it there.
    void SetColour(quint32 colour);

    // AmbiLight on, or off with the all-off command when it runs. `mode` is the selected mode, none when no
    // mode is selected. `endPreview` ends a preview of the zones still on the screen and answers whether
    // there was one: the first tick then waits for the screen to show what lies below it.
    void SwitchAmbiLight(const std::optional<QString>& mode, const std::function<bool()>& endPreview = {});
    bool AmbiLightOn() const;
    // The capture ended for good (the desktop refused or stopped it): AmbiLight stops with the all-off and
    // `message` as a Notice. Handled from the event loop, and only if that capture still serves a run.
    void CaptureFailed(const QString& message);

    void SwitchColourMusic();
    bool ColourMusicOn() const { return colourMusicOn_; }

    // The user's modes, after the built-in "0,150". SetModes takes them as stored; AddMode and DeleteMode
    // (`index` counting the built-in mode as 0, which cannot be deleted) store the list after each change,
    // also when nothing was deleted. They answer false when storing failed (announced by Failed).
    void SetModes(const QStringList& modes);
    QStringList Modes() const { return modes_; }
    bool AddMode(const QString& mode);
    bool DeleteMode(int index);

    LightControls Controls() const { return controls_; }

    // The link itself, for the tests that watch the line.
    SerialLink& Link() { return *link_; }

signals:
    void Notice(const QString& text);
    void Failed(const QString& error);
    void PortChanged(bool open);
    void AmbiLightChanged(bool on);
    void ColourMusicChanged(bool on);
    void ColourChanged(quint32 colour);
    // `chosen` is the row the mode list should select now (0 the built-in mode, -1 none).
    void ModesChanged(const QStringList& modes, int chosen);
    void ControlsChanged(const LightControls& controls);

private:
    // The port check on the board; on a strip, that it can be lit.
    bool ensureOpen();
    bool onStrip() const { return strip_.output.kind != StripOutput::Kind::Board; }
    // Whether the light actions can reach their output: the board's port is open, or a strip is chosen.
    bool outputReady() const;
    QSize screenSize() const;
    // The strip's driver, made when there is none, following the screen's size.
    StripDriver& stripDriver(QSize screen);
    // Lets the driver go; the next picture makes a new one.
    void dropDriver();
    // Sends `command` to the board, or shows it on the strip (`blend`: blended in, as colour music's are).
    void writeCommand(const QByteArray& command, bool blend);
    void stripTick();
    void stripFailed(const QString& message);
    // Runs `action`; an error it raises is announced. Answers whether it ran through.
    bool guarded(const std::function<void()>& action);
    void startAmbiLight(const QString& mode, const std::function<bool()>& endPreview);
    // The ticks are named after their timers: Timer1 runs AmbiLight, TVisual1 colour music.
    void StopAmbiLight(bool writeAllOff);
    void Timer1Timer();
    // A new frame from a capture that tells of them: the tick runs now, or TickMs after the last one.
    void frameKept();
    int timedTickMs() const;
    void StopColourMusic(bool lightsOff);
    void TVisual1Timer();
    void deviceLost(const QString& errorText);
    bool storeModes(int chosen);
    // The enabling rule after opening, closing and each stop: the AmbiLight switch follows the port, the
    // colour row `colourRow`.
    LightControls followingPort(LightControls controls, bool colourRow) const;
    void setControls(const LightControls& controls);

    SerialLink* link_;
    QTimer* ambiLightTimer_;
    QElapsedTimer lastTick_;  // since the run's last tick; invalid before its first
    QTimer* colourMusicTimer_;
    std::unique_ptr<ScreenCapture> capture_;
    CaptureFactory makeCapture_;
    std::function<QRect()> screen_;
    std::function<quint32()> level_;
    std::function<void(const QStringList&)> storeModes_;
    QPoint mode_;  // the mode in use by AmbiLight, read at its start
    StripSettings strip_;
    std::unique_ptr<StripDriver> driver_;
    bool colourMusicOn_ = false;
    QStringList modes_;
    LightControls controls_{true, false, false};
};
