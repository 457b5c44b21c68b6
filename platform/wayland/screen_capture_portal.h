#pragma once

// Screen capture on a Wayland desktop, for AmbiLight's zones: the desktop portal's screen cast of one
// monitor, its frames received over PipeWire. The session starts when the adapter is made and ends when it is
// destroyed (the desktop's "sharing" indicator goes away with it).
//
// Until the first frame has arrived (the user may still be looking at the desktop's consent dialog) the
// adapter is not Ready and grabs nothing. A zone is placed on the screen as the X server sees it; when the
// frames are of another size (a desktop that scales the stream down, or a scaled screen) the zone is mapped
// onto them proportionally, so it still covers the same part of the picture.
//
// A refusal, a missing portal or a stream that ends (the user stopped sharing from the desktop's indicator)
// is reported once through Failed, with the message to show; the adapter then grabs nothing more.

#include <QDBusConnection>
#include <QObject>
#include <QSize>
#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "light/ambilight_zones.h"
#include "light/average_colour.h"
#include "platform/wayland/screen_cast_portal.h"

class PipeWireScreenStream;

class ScreenCapturePortal : public QObject {
    Q_OBJECT

public:
    static constexpr int Slots = 4;

    // Asks the portal on `bus` for a session; `restoreToken` is the one last handed out, or empty. The first
    // call to the portal is made from the event loop, so signals connected right after construction see
    // every outcome.
    ScreenCapturePortal(const QDBusConnection& bus, const QString& restoreToken, QObject* parent = nullptr);
    ~ScreenCapturePortal() override;

    // A frame has arrived and no failure has been reported.
    bool Ready() const;
    // The pixels of the part of the zone at `area` (relative to `screen`) that lies on the screen, from the
    // newest frame, copied into `slot` (0..Slots-1) and valid until that slot's next capture; an empty block
    // when no part does or no frame is there.
    PixelBlock ZonePixels(int slot, const QRect& screen, const ZoneArea& area);

    // The texts Failed sends.
    static QString MessageFor(ScreenCastPortal::Failure failure);

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
};
