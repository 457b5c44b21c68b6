#include "platform/wayland/screen_capture_portal.h"

#include <QDBusConnectionInterface>
#include <QMetaObject>
#include <QtDebug>

#include "light/ambilight_zones.h"
#include "platform/wayland/frame_geometry.h"
#include "platform/wayland/pipewire_screen_stream.h"

ScreenCapturePortal::ScreenCapturePortal(const QDBusConnection& bus, const QString& restoreToken,
                                         QObject* parent)
    : QObject(parent), portal_(new ScreenCastPortal(bus, this)) {
    connect(portal_, &ScreenCastPortal::RestoreTokenChanged, this, &ScreenCapturePortal::RestoreTokenChanged);
    connect(portal_, &ScreenCastPortal::Failed, this,
            [this](ScreenCastPortal::Failure failure, const QString& detail) {
                qWarning().noquote() << "Screen cast:" << detail;
                fail(MessageFor(failure));
            });
    connect(portal_, &ScreenCastPortal::Opened, this, [this](int fd, quint32 node) {
        stream_ = std::make_unique<PipeWireScreenStream>(fd, node);
        connect(stream_.get(), &PipeWireScreenStream::Ended, this, [this](const QString& reason) {
            qWarning().noquote() << "Screen cast stream:" << reason;
            fail(MessageFor(ScreenCastPortal::Failure::Closed));
        });
        connect(stream_.get(), &PipeWireScreenStream::NewFrame, this, [this] {
            if (!failed_) FrameKept();
        });
        connect(stream_.get(), &PipeWireScreenStream::Starved, this, [this] {
            qWarning().noquote() << "Screen cast stream: no usable picture";
            fail(NoPictureMessage());
        });
    });
    QMetaObject::invokeMethod(
        portal_, [portal = portal_, restoreToken] { portal->Open(restoreToken); }, Qt::QueuedConnection);
}

ScreenCapturePortal::~ScreenCapturePortal() = default;

bool ScreenCapturePortal::Offered() {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return false;
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QString portal = QStringLiteral("org.freedesktop.portal.Desktop");
    return bus &&
           (bus->isServiceRegistered(portal) || bus->activatableServiceNames().value().contains(portal));
}

QString ScreenCapturePortal::MessageFor(ScreenCastPortal::Failure failure) {
    switch (failure) {
        case ScreenCastPortal::Failure::Missing:
            return QStringLiteral(
                "Захват экрана недоступен: нет службы xdg-desktop-portal с показом экрана. AmbiLight "
                "выключен.");
        case ScreenCastPortal::Failure::Refused:
            return QStringLiteral("Доступ к экрану не разрешён. AmbiLight выключен.");
        case ScreenCastPortal::Failure::Failed:
            return QStringLiteral("Рабочий стол не смог начать показ экрана. AmbiLight выключен.");
        case ScreenCastPortal::Failure::Closed:
            break;
    }
    return QStringLiteral("Показ экрана прекращён. AmbiLight выключен.");
}

QString ScreenCapturePortal::NoPictureMessage() {
    return QStringLiteral("Рабочий стол не передаёт изображение экрана. AmbiLight выключен.");
}

void ScreenCapturePortal::fail(const QString& message) {
    if (failed_) return;
    failed_ = true;
    emit Failed(message);
}

bool ScreenCapturePortal::Ready() const {
    return !failed_ && stream_ && stream_->HasFrame();
}

PixelBlock ScreenCapturePortal::ZonePixels(int slot, const QRect& screen, const ZoneArea& area) {
    if (!Ready()) return {};
    // The picture's size: what the buffers hold of the screen, after their crop and turn.
    const QSize picture = stream_->FrameSize();
    const QRect part =
        ClipRect(area.left, area.top, ZoneWidth, ZoneHeight, QRect(QPoint(0, 0), screen.size()));
    if (part.isEmpty() || picture.isEmpty()) return {};
    return stream_->Copy(ScaledToPicture(part, screen.size(), picture), slots_[size_t(slot)]);
}

std::vector<quint32> ScreenCapturePortal::LedColours(const QRect& screen, std::span<const QRect> areas) {
    if (!Ready()) return std::vector<quint32>(areas.size(), 0);
    return ledColours_.Of(*stream_, screen.size(), areas);
}
