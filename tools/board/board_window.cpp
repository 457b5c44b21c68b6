#include "tools/board/board_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QTimer>

#include "tools/board/board_line.h"

namespace {

int componentOf(int level) {
    return level * 255 / MaxLevel;
}

}  // namespace

ZoneView::ZoneView(Zone zone, QWidget* parent) : QWidget(parent), zone_(zone) {}

void ZoneView::SetLevels(int red, int green, int blue) {
    if (red == red_ && green == green_ && blue == blue_) return;
    red_ = red;
    green_ = green;
    blue_ = blue;
    update();
}

void ZoneView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor colour(componentOf(red_), componentOf(green_), componentOf(blue_));
    painter.fillRect(rect(), colour);
    painter.setPen(colour.lightness() > 140 ? Qt::black : Qt::white);
    const QString text = QStringLiteral("%1 %2\n%3 %4\n%5 %6")
                             .arg(QLatin1Char(zone_.red))
                             .arg(red_)
                             .arg(QLatin1Char(zone_.green))
                             .arg(green_)
                             .arg(QLatin1Char(zone_.blue))
                             .arg(blue_);
    QFont font = painter.font();
    font.setPixelSize(18);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(rect(), Qt::AlignCenter, text);
}

BoardWindow::BoardWindow(BoardLine& line) : line_(line) {
    setWindowTitle(QStringLiteral("Varnex virtual board: %1").arg(line.LinkPath()));
    setObjectName(QStringLiteral("BoardWindow"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
    setAutoFillBackground(true);

    leftUpper_ = new ZoneView(LeftUpperZone, this);
    leftLower_ = new ZoneView(LeftLowerZone, this);
    rightUpper_ = new ZoneView(RightUpperZone, this);
    rightLower_ = new ZoneView(RightLowerZone, this);
    status_ = new QLabel(this);
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    paced_ = new QCheckBox(QStringLiteral("pace to 9600 baud (960 bytes/s)"), this);
    paced_->setChecked(line.Paced());
    connect(paced_, &QCheckBox::toggled, this, [this](bool on) { line_.SetPaced(on); });

    connect(&line_, &BoardLine::Received, this, &BoardWindow::refresh);
    // The byte rate is shown once a second.
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &BoardWindow::refresh);
    clock->start(1000);
    resize(640, 400);
    refresh();
}

void BoardWindow::resizeEvent(QResizeEvent*) {
    // The window stands for the screen: two zones down each side edge, upper above lower.
    const int w = width(), h = height();
    const int zoneWidth = w / 6, zoneHeight = (h - 30) / 2;
    leftUpper_->setGeometry(10, 10, zoneWidth, zoneHeight);
    leftLower_->setGeometry(10, 20 + zoneHeight, zoneWidth, zoneHeight);
    rightUpper_->setGeometry(w - 10 - zoneWidth, 10, zoneWidth, zoneHeight);
    rightLower_->setGeometry(w - 10 - zoneWidth, 20 + zoneHeight, zoneWidth, zoneHeight);
    const int middle = 20 + zoneWidth;
    status_->setGeometry(middle + 10, 10, w - 2 * middle - 20, h - 60);
    paced_->setGeometry(middle + 10, h - 40, w - 2 * middle - 20, 30);
}

void BoardWindow::refresh() {
    const BoardParser& parser = line_.Parser();
    auto set = [&](ZoneView* view, Zone zone) {
        view->SetLevels(parser.Level(zone.red), parser.Level(zone.green), parser.Level(zone.blue));
    };
    set(leftUpper_, LeftUpperZone);
    set(leftLower_, LeftLowerZone);
    set(rightUpper_, RightUpperZone);
    set(rightLower_, RightLowerZone);

    if (!rateClock_.isValid() || rateClock_.elapsed() >= 1000) {
        if (rateClock_.isValid()) rate_ = (line_.BytesRead() - rateBytes_) * 1000 / rateClock_.elapsed();
        rateBytes_ = line_.BytesRead();
        rateClock_.start();
    }
    status_->setText(QStringLiteral("Port: %1\n(%2)\n\nbytes %3, items %4, faults %5\n%6 bytes/s")
                         .arg(line_.LinkPath(), line_.DevicePath())
                         .arg(line_.BytesRead())
                         .arg(parser.Items())
                         .arg(parser.Faults())
                         .arg(rate_));
}
