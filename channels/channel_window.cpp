#include "channels/channel_window.h"

#include <QFont>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <tuple>

#include "channels/jpeg_image.h"
#include "common/handlers.h"
#include "common/link_label.h"
#include "common/window_setup.h"

const QString TForm4::VideoPlayer = QStringLiteral("mpv");
// A channel of the home network's IPTV multicast, as a set-top box receives it.
const QString TForm4::StreamAddress = QStringLiteral("udp://@239.255.0.1:1234");

TForm4::TForm4() : QWidget(nullptr) {
    const QColor background(94, 89, 89);  // 0x0059595E
    SetupWindow(this, "Form4", QStringLiteral("Form4"), Qt::Window | Qt::FramelessWindowHint, QSize(),
                background, 11);
    setFixedHeight(250);
    Button1 = MakeButton(this, "Button1", {1024, 8, 75, 25}, QStringLiteral("Button1"));
    Button2 = MakeButton(this, "Button2", {192, 8, 75, 25}, QStringLiteral("Button2"));

    // No bevel; it shows the window's background through it.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setGeometry(StripStart.panelLeft, 40, 2553, 225);

    for (int number = 1; number <= LogoCount; ++number) {
        auto* logo = new LinkLabel(Panel1);
        logo->setObjectName(QStringLiteral("Channel%1").arg(number));
        logo->setGeometry(LogoPlaces[number - 1]);
        logo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // A logo that cannot be read stays empty: the strip's background shows in its place.
        logo->setPixmap(
            QPixmap::fromImage(ReadJpegFile(QStringLiteral(":/logos/Channel%1.jpg").arg(number))));
        channels_[number - 1] = logo;
    }
    std::tie(Channel1, Channel2, Channel3, Channel4, Channel5, Channel6, Channel7, Channel8, Channel9) =
        std::tuple_cat(channels_);

    Arrow = new QLabel(QStringLiteral("^"), Panel1);
    Arrow->setObjectName(QStringLiteral("Arrow"));
    QFont arrowFont(QStringLiteral("Gautami"));
    arrowFont.setPixelSize(133);
    Arrow->setFont(arrowFont);
    SetColour(Arrow, QPalette::WindowText, Qt::white);
    Arrow->move(StripStart.markerLeft, 126);
    Arrow->adjustSize();
    // The marker overlaps the bottom of the logos: clicks go through it to them.
    Arrow->setAttribute(Qt::WA_TransparentForMouseEvents);

    On(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    On(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
    On(Channel1, &LinkLabel::clicked, this, &TForm4::Channel1Click);
    FormCreate();
}

void TForm4::FormCreate() {
    setFixedWidth(QGuiApplication::primaryScreen()->geometry().width());
    ChannelIndex = StripStart.channel;
    CentreOnScreen(this);
}

void TForm4::Button1Click() {
    const StripPosition next = NextChannel({ChannelIndex, Panel1->x(), Arrow->x()});
    ChannelIndex = next.channel;
    Panel1->move(next.panelLeft, Panel1->y());
    Arrow->move(next.markerLeft, Arrow->y());
}

// The first channel is recognised by the marker standing at its start position.
void TForm4::Button2Click() {
    if (Arrow->x() == StripStart.markerLeft) Channel1Click();
}

// Starts the player on its own, without a shell, with the stream address as its only argument. Whether it
// started is not examined: a player that is not installed simply does not appear.
void TForm4::Channel1Click() {
    const QString program = qEnvironmentVariable(VideoPlayerVariable, VideoPlayer);
    QProcess::startDetached(program, {StreamAddress});
}
