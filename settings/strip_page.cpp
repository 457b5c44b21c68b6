#include "settings/strip_page.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <algorithm>
#include <array>
#include <functional>

#include "common/handlers.h"
#include "common/hints.h"
#include "common/messages.h"
#include "common/window_setup.h"
#include "light/port_list.h"
#include "light/strip_preview_window.h"
#include "settings/port_box.h"

namespace {

using Kind = StripOutput::Kind;

constexpr int kLabelX = 8;
constexpr int kFieldX = 124;
constexpr int kRightLabelX = 196;  // a second field in a row, with its label
constexpr int kRightFieldX = 269;
constexpr int kWide = 205;  // a field reaching the page's right edge
constexpr int kMiddle = 120;
constexpr int kNarrow = 60;
constexpr int kHeight = 25;

constexpr std::array kBauds{115200, 230400, 250000, 460800, 500000, 921600, 1000000, 1500000, 2000000};

// The choices of the lists, in the order of their enums.
const QStringList kOutputs{QStringLiteral("Плата"), QStringLiteral("Adalight"), QStringLiteral("WLED"),
                           QStringLiteral("DDP")};
constexpr std::array kOrders{ColourOrder::RGB, ColourOrder::RBG, ColourOrder::GRB,
                             ColourOrder::GBR, ColourOrder::BRG, ColourOrder::BGR};
const QStringList kOrderNames{QStringLiteral("RGB"), QStringLiteral("RBG"), QStringLiteral("GRB"),
                              QStringLiteral("GBR"), QStringLiteral("BRG"), QStringLiteral("BGR")};
const QStringList kCorners{QStringLiteral("левый верхний угол"), QStringLiteral("правый верхний угол"),
                           QStringLiteral("правый нижний угол"), QStringLiteral("левый нижний угол")};
const QStringList kDirections{QStringLiteral("по часовой стрелке"), QStringLiteral("против часовой стрелки")};

template <typename Field>
Field* place(Field* field, const char* name, QRect geometry) {
    field->setObjectName(QLatin1String(name));
    field->setGeometry(geometry);
    return field;
}

// The field's label, `text` at `x` in the field's row; the field is its buddy, and they are enabled together.
void labelFor(QWidget* field, int x, const QString& text) {
    const QByteArray name = field->objectName().toLatin1() + "Label";
    auto* label = MakeLabel(field->parentWidget(), name.constData(), {x, field->y() + 4}, text, 12);
    label->setBuddy(field);
}

QComboBox* comboBox(QWidget* page, const char* name, QRect geometry, const QStringList& items) {
    auto* box = place(new QComboBox(page), name, geometry);
    box->addItems(items);
    return box;
}

QSpinBox* spinBox(QWidget* page, const char* name, QRect geometry, int min, int max, int step = 1) {
    auto* box = place(new QSpinBox(page), name, geometry);
    box->setRange(min, max);
    box->setSingleStep(step);
    return box;
}

}  // namespace

StripPage::StripPage() {
    setObjectName(QStringLiteral("TabSheet3"));
    OutputBox = comboBox(this, "OutputBox", {kFieldX, 12, kMiddle, kHeight}, kOutputs);
    labelFor(OutputBox, kLabelX, QStringLiteral("Вывод:"));

    SerialPortBox =
        place(new PortBox(this, [this] { FillPortList(); }), "SerialPortBox", {kFieldX, 40, kWide, kHeight});
    labelFor(SerialPortBox, kLabelX, QStringLiteral("Порт:"));
    BaudBox = place(new QComboBox(this), "BaudBox", {kFieldX, 68, kMiddle, kHeight});
    for (const int baud : kBauds) BaudBox->addItem(QString::number(baud), baud);
    labelFor(BaudBox, kLabelX, QStringLiteral("Скорость:"));

    HostEdit = place(new QLineEdit(this), "HostEdit", {kFieldX, 96, kWide, kHeight});
    labelFor(HostEdit, kLabelX, QStringLiteral("Адрес:"));
    UdpPortEdit = spinBox(this, "UdpPortEdit", {kFieldX, 124, kMiddle, kHeight}, 0, 65535);
    labelFor(UdpPortEdit, kLabelX, QStringLiteral("Порт UDP:"));

    OrderBox = comboBox(this, "OrderBox", {kFieldX, 152, kMiddle, kHeight}, kOrderNames);
    labelFor(OrderBox, kLabelX, QStringLiteral("Порядок цветов:"));
    BrightnessEdit = spinBox(this, "BrightnessEdit", {kFieldX, 180, kNarrow, kHeight}, 1, 100);
    labelFor(BrightnessEdit, kLabelX, QStringLiteral("Яркость, %:"));
    GammaEdit = place(new QDoubleSpinBox(this), "GammaEdit", {kRightFieldX, 180, kNarrow, kHeight});
    GammaEdit->setRange(1.0, 3.0);
    GammaEdit->setDecimals(2);
    GammaEdit->setSingleStep(0.1);
    labelFor(GammaEdit, kRightLabelX, QStringLiteral("Гамма:"));
    SmoothingEdit =
        spinBox(this, "SmoothingEdit", {kFieldX, 208, kNarrow, kHeight}, 0, StripOutput::MaxSmoothing, 10);
    labelFor(SmoothingEdit, kLabelX, QStringLiteral("Сглаживание, мс:"));

    MakeLabel(this, "LedsLabel", {kLabelX, 240},
              QStringLiteral("Светодиодов сверху / справа / снизу / слева:"), 12);
    QSpinBox** counts[] = {&LedsTopEdit, &LedsRightEdit, &LedsBottomEdit, &LedsLeftEdit};
    const char* countNames[] = {"LedsTopEdit", "LedsRightEdit", "LedsBottomEdit", "LedsLeftEdit"};
    for (int side = 0; side < 4; ++side)
        *counts[side] =
            spinBox(this, countNames[side], {kLabelX + 82 * side, 260, 75, kHeight}, 0, MaxStripLeds);

    StartBox = comboBox(this, "StartBox", {kFieldX, 292, kWide, kHeight}, kCorners);
    labelFor(StartBox, kLabelX, QStringLiteral("Начало:"));
    DirectionBox = comboBox(this, "DirectionBox", {kFieldX, 320, kWide, kHeight}, kDirections);
    labelFor(DirectionBox, kLabelX, QStringLiteral("Направление:"));
    GapEdit = spinBox(this, "GapEdit", {kFieldX, 348, kNarrow, kHeight}, 0, MaxStripLeds);
    labelFor(GapEdit, kLabelX, QStringLiteral("Промежуток снизу:"));
    DepthEdit = spinBox(this, "DepthEdit", {kRightFieldX, 348, kNarrow, kHeight}, 1, MaxStripDepth);
    labelFor(DepthEdit, kRightLabelX, QStringLiteral("Глубина, %:"));

    ShowButton = MakeButton(this, "ShowButton", {kLabelX, 376, 97, kHeight}, QStringLiteral("Показать"));

    SetHint(UdpPortEdit, QStringLiteral("0 - порт протокола: 21324 для WLED, 4048 для DDP"));
    SetHint(GapEdit, QStringLiteral("Сколько светодиодов поместилось бы на месте подставки:\rсередина нижней "
                                    "стороны остаётся без света"));
    SetHint(DepthEdit,
            QStringLiteral("Насколько глубоко в экран смотрит каждый светодиод,\rв процентах высоты "
                           "(сверху и снизу) или ширины (слева и справа)"));
    SetHint(ShowButton, QStringLiteral("Показать расположение светодиодов на экране"));

    On(OutputBox, &QComboBox::currentIndexChanged, this, [this] { followOutput(); });
    On(ShowButton, &QPushButton::clicked, this, &StripPage::ShowButtonClick);
    followOutput();
}

StripPage::~StripPage() = default;

void StripPage::Show(const StripSettings& settings) {
    const StripOutput& output = settings.output;
    OutputBox->setCurrentIndex(int(output.kind));
    SerialPortBox->clear();
    if (!output.serialPort.isEmpty()) SerialPortBox->addItem(output.serialPort);
    chooseBaud(output.baud);
    HostEdit->setText(output.host);
    UdpPortEdit->setValue(output.udpPort);
    OrderBox->setCurrentIndex(int(std::find(kOrders.begin(), kOrders.end(), output.order) - kOrders.begin()));
    BrightnessEdit->setValue(output.brightnessLimit);
    GammaEdit->setValue(output.gamma);
    SmoothingEdit->setValue(output.smoothing);

    const StripLayout& layout = settings.layout;
    LedsTopEdit->setValue(layout.top);
    LedsRightEdit->setValue(layout.right);
    LedsBottomEdit->setValue(layout.bottom);
    LedsLeftEdit->setValue(layout.left);
    StartBox->setCurrentIndex(int(layout.start));
    DirectionBox->setCurrentIndex(int(layout.direction));
    GapEdit->setValue(layout.bottomGap);
    DepthEdit->setValue(layout.depth);
    followOutput();
}

StripSettings StripPage::Values() const {
    StripSettings settings;
    StripOutput& output = settings.output;
    output.kind = Kind(OutputBox->currentIndex());
    output.serialPort = SerialPortBox->currentText();
    output.baud = BaudBox->currentData().toInt();
    output.host = HostEdit->text().trimmed();
    output.udpPort = UdpPortEdit->value();
    output.order = kOrders[size_t(OrderBox->currentIndex())];
    output.brightnessLimit = BrightnessEdit->value();
    output.gamma = GammaEdit->value();
    output.smoothing = SmoothingEdit->value();

    StripLayout& layout = settings.layout;
    layout.top = LedsTopEdit->value();
    layout.right = LedsRightEdit->value();
    layout.bottom = LedsBottomEdit->value();
    layout.left = LedsLeftEdit->value();
    layout.start = StripCorner(StartBox->currentIndex());
    layout.direction = StripDirection(DirectionBox->currentIndex());
    layout.bottomGap = GapEdit->value();
    layout.depth = DepthEdit->value();
    return settings;
}

QString StripPage::LayoutFault() const {
    const StripSettings settings = Values();
    if (settings.output.kind == Kind::Board) return {};
    return StripLayoutFault(settings.layout, QGuiApplication::primaryScreen()->size());
}

void StripPage::ShowButtonClick() {
    const StripLayout layout = Values().layout;
    const QString fault = StripLayoutFault(layout, QGuiApplication::primaryScreen()->size());
    if (!fault.isEmpty()) {
        messages::ShowMessage(fault);
        return;
    }
    if (!preview_) preview_ = std::make_unique<StripPreviewWindow>();
    preview_->ShowLayout(layout);
}

bool StripPage::EndPreview() {
    return preview_ && preview_->Close();
}

void StripPage::SetAmbiLightOn(bool on) {
    ambiLightOn_ = on;
    if (on) EndPreview();
    followOutput();
}

void StripPage::FillPortList() {
    PortListRead = true;
    const QString chosen = SerialPortBox->currentText();
    SerialPortBox->clear();
    QStringList ports;
    // An unreadable list is shown as an error and leaves the list with the chosen port only.
    RunHandler([&ports] { ports = ReadPortList(); });
    // The strip's port stays chosen while its device is away: it is the user's choice, not the computer's.
    if (!chosen.isEmpty() && !ports.contains(chosen)) ports.append(chosen);
    SerialPortBox->addItems(ports);
    // No port is chosen for the user: an Adalight strip needs the one its controller is on.
    SerialPortBox->setCurrentIndex(int(ports.indexOf(chosen)));
    SerialPortBox->view()->setMinimumWidth(SerialPortBox->view()->sizeHintForColumn(0) + 8);
}

void StripPage::showEvent(QShowEvent* event) {
    if (!PortListRead) FillPortList();
    QWidget::showEvent(event);
}

void StripPage::followOutput() {
    const Kind kind = Kind(OutputBox->currentIndex());
    const bool serial = kind == Kind::Adalight;
    const bool network = kind == Kind::Wled || kind == Kind::Ddp;
    const bool strip = kind != Kind::Board;
    using Fields = std::initializer_list<QWidget*>;
    for (QWidget* field : Fields{SerialPortBox, BaudBox}) field->setEnabled(serial);
    for (QWidget* field : Fields{HostEdit, UdpPortEdit}) field->setEnabled(network);
    for (QWidget* field :
         Fields{OrderBox, BrightnessEdit, GammaEdit, SmoothingEdit, LedsTopEdit, LedsRightEdit,
                LedsBottomEdit, LedsLeftEdit, StartBox, DirectionBox, GapEdit, DepthEdit})
        field->setEnabled(strip);
    ShowButton->setEnabled(strip && !ambiLightOn_);
    for (QLabel* label : findChildren<QLabel*>())
        if (label->buddy()) label->setEnabled(label->buddy()->isEnabled());
    findChild<QLabel*>(QStringLiteral("LedsLabel"))->setEnabled(strip);

    StripOutput output;
    output.kind = kind == Kind::Ddp ? Kind::Ddp : Kind::Wled;
    UdpPortEdit->setSpecialValueText(QStringLiteral("свой (%1)").arg(output.UdpPort()));
}

void StripPage::chooseBaud(int baud) {
    int index = BaudBox->findData(baud);
    if (index < 0) {
        // A speed the file holds that the list does not offer stays as it is.
        index = 0;
        while (index < BaudBox->count() && BaudBox->itemData(index).toInt() < baud) ++index;
        BaudBox->insertItem(index, QString::number(baud), baud);
    }
    BaudBox->setCurrentIndex(index);
}
