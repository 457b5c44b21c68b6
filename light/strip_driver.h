#pragma once

// One LED strip in use: what the lights show, turned into the frames of the strip's controller. The light
// controller hands it three kinds of picture:
//
// - one colour (0x00BBGGRR) on every LED, with the strip's full 8 bits a component (not the board's nine
//   levels);
// - a board command, the very bytes the board would be sent (the all-off, zone commands, colour music's
//   commands, the remote's light commands): read as the board reads them, and each LED shown in the colour
//   of the board's zone it sits in, so that everything the board understands lights the strip too;
// - AmbiLight's colours, one per LED, each LED's own area of the screen's edge.
//
// The frames pass through the output's brightness limit and gamma; an Adalight board gets them in its
// strip's colour order, WLED and DDP controllers in RGB (they order the components themselves).
//
// A picture is sent when it changes what the LEDs get: a still screen leaves the line free, so that a change
// goes out at once instead of queueing behind a copy of the last picture. What is shown is sent again every
// RepeatMs while nothing newer comes: WLED gives the strip back to its own effect two seconds after the last
// packet, and many Adalight sketches blank the strip after a few seconds without a frame, and neither may
// undo a colour the user set. A board command that turns every channel off at once (the all-off of "выкл.
// подсветку" and of every stop) is sent once and not again: the strip is handed back, so that a WLED
// controller shows its own effect two seconds later, as after Varnex ends, and an Adalight strip stays dark.
// A dark picture while a light runs (a black screen, a silent passage) is repeated as any other.
//
// Smoothing (the output's Smoothing, in ms; 0 is off): AmbiLight's and colour music's pictures are blended
// in. Each frame, every component moves toward its new value by min(1, elapsed / smoothing) of the way,
// elapsed being the time since the frame before; the frames come every BlendFrameMs until the picture is
// reached. One colour and the board's other commands (the all-off first of all) show at once.
//
// The line (a serial port or a UDP address) is opened with the first frame, off the UI thread. When it
// fails, Failed tells once how, and the driver sends nothing more: a new driver starts anew.

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRect>
#include <QSize>
#include <memory>
#include <span>
#include <vector>

#include "light/board_parser.h"
#include "light/strip_output.h"
#include "light/strip_protocol.h"

class QTimer;
class StripSender;

class StripDriver final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StripDriver)

public:
    static constexpr int RepeatMs = 1000;
    static constexpr int BlendFrameMs = 10;

    // `settings` name a strip output (not the board); `screen` is the size of the screen the LEDs sit around.
    StripDriver(const StripSettings& settings, QSize screen, QObject* parent = nullptr);
    ~StripDriver() override;

    // Whether `settings` send to the same line (kind, port, rate, host, UDP port) as this driver.
    bool SameLine(const StripSettings& settings) const;
    // The colour order, brightness limit, gamma, smoothing and layout, taken at once: what is shown is shown
    // again with them.
    void Apply(const StripSettings& settings);
    // The screen the LEDs sit around; the areas follow its size.
    void SetScreen(QSize screen);

    // Why nothing can be shown, in the user's words: no port or no host named, or a layout that cannot be
    // laid around the screen. Empty when all is well.
    QString Fault() const;
    // Each LED's area of the screen (its top left pixel at 0, 0), LED 0 first; empty when the layout has a
    // fault.
    const std::vector<QRect>& Areas() const { return areas_; }

    // Lets the line go once what was last shown has gone out (a stop's all-off), waiting at most a second.
    void Finish();

    void ShowColour(quint32 colour);
    // `blend`: colour music's commands are blended in, the others shown at once.
    void ShowCommand(QByteArrayView command, bool blend);
    // AmbiLight's colours, one per area, blended in.
    void ShowScreen(std::span<const quint32> colours);

signals:
    void Failed(const QString& message);

private:
    enum class Picture { None, Colour, Board, Screen };

    void relayout();
    void showNow(std::vector<quint32> colours);
    void blendTo(std::vector<quint32> colours);
    void blendStep();
    // `repeat`: the repeat timer's, which sends the last picture again.
    void send(bool repeat = false);
    void fail(const QString& message);

    StripSettings settings_;
    QSize screen_;
    std::vector<QRect> areas_;
    std::vector<Zone> zones_;
    ComponentTable table_{};
    BoardParser board_;
    quint8 sequence_ = 0;  // DDP's, of the last packet sent

    Picture picture_ = Picture::None;
    quint32 colour_ = 0;           // the one colour, when that is the picture
    bool off_ = false;             // the picture is an all-off: not repeated
    std::vector<quint32> target_;  // the picture being shown
    std::vector<float> shown_;     // what the strip shows now, three components per LED
    QElapsedTimer sinceStep_;      // since the last blended frame
    QTimer* blendTimer_;
    QTimer* repeatTimer_;
    QByteArray lastBytes_;  // the LEDs' bytes of the last picture sent
    std::unique_ptr<StripSender> sender_;
    bool failed_ = false;
};
