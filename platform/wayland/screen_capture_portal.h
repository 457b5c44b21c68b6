#pragma once

// Screen capture on a Wayland desktop, for AmbiLight's zones: the desktop portal's screen cast of one
// monitor, its frames received over PipeWire. The session starts when the adapter is made and ends when it is
// destroyed (the desktop's "sharing" indicator goes away with it).
//
// Until the first frame has arrived (the user may still be looking at the desktop's consent dialog) the
// adapter is not Ready and grabs nothing. A zone (or a strip's LED area) is placed on the screen as the X
// server sees it; when the frames are of another size (a desktop that scales the stream down, or a scaled
// screen) the zone is mapped onto them proportionally, so it still covers the same part of the picture.
//
// A refusal, a missing portal, a stream that ends (the user stopped sharing from the desktop's indicator) or
// one that gives no usable picture (see StreamHealth) is reported once through Failed, with the message to
// show; the adapter then grabs nothing more.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "light/screen_capture.h"
#include "platform/wayland/screen_cast_portal.h"
#include "platform/wayland/stream_led_colours.h"

class PipeWireScreenStream;

class ScreenCapturePortal : public QObject, public ScreenCapture {
    Q_OBJECT

public:
    // Whether the session bus has a desktop portal to ask, running or started on demand. Without a session
    // bus there is none, and none is launched.
    static bool Offered();

    // Asks the portal on `bus` for a session; `restoreToken` is the one last handed out, or empty. The first
    // call to the portal is made from the event loop, so signals connected right after construction see
    // every outcome.
    ScreenCapturePortal(const QDBusConnection& bus, const QString& restoreToken, QObject* parent = nullptr);
    ~ScreenCapturePortal() override;

    // A frame has arrived and no failure has been reported.
    bool Ready() const override;
    // The session ends with the adapter, so it serves one run of AmbiLight.
    bool Lasting() const override { return false; }
    // Each frame the stream keeps is told, until a failure is reported.
    bool TellsFrames() const override { return true; }
    // The part of the zone at `area` (relative to `screen`) that lies on the screen, from the newest frame,
    // copied into `slot` and valid until that slot's next capture; an empty block when no part does or no
    // frame is there.
    PixelBlock ZonePixels(int slot, const QRect& screen, const ZoneArea& area) override;
    // Each LED area's mean colour from the newest frame, mapped onto it as the zones are (see
    // StreamLedColours); all black while the adapter is not Ready, as the zones are then.
    std::vector<quint32> LedColours(const QRect& screen, std::span<const QRect> areas) override;

    // The texts Failed sends.
    static QString MessageFor(ScreenCastPortal::Failure failure);
    static QString NoPictureMessage();

signals:
    void Failed(const QString& message);
    // The desktop's token for skipping the consent dialog next time; keep it for the next session.
    void RestoreTokenChanged(const QString& token);

private:
    void fail(const QString& message);

    ScreenCastPortal* portal_ = nullptr;
    std::unique_ptr<PipeWireScreenStream> stream_;
    bool failed_ = false;
    std::array<std::vector<quint32>, Slots> slots_;
    StreamLedColours ledColours_;
};
