#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/application.h"
#include "app/status_notifier.h"
#include "common/color_edit.h"
#include "common/fixed_row_delegate.h"
#include "common/fonts.h"
#include "common/handlers.h"
#include "common/hints.h"
#include "common/image_button.h"
#include "common/skin_slider.h"
#include "common/window_setup.h"
#include "player/audio_library.h"

namespace {

constexpr QRgb kModeRowColor = 0xE0D6D6;   // red E0, green D6, blue D6
constexpr QRgb kLightRowColor = 0xD5C8C8;  // red D5, green C8, blue C8
constexpr QRgb kPlayerColor = 0x363636;

QFrame* makePanel(QWidget* parent, const char* name, QRect geometry, QRgb color) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameShape(QFrame::NoFrame);
    panel->setGeometry(geometry);
    panel->setAutoFillBackground(true);
    SetColour(panel, QPalette::Window, QColor(color));
    return panel;
}

template <typename W>
W* place(W* widget, const char* name, QRect geometry) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel* makeTimePanel(QWidget* parent, const char* name, QRect geometry) {
    auto* panel = place(new QLabel(QStringLiteral("00:00:00"), parent), name, geometry);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFont(Gothic(9));
    panel->setAutoFillBackground(true);
    SetColour(panel, QPalette::Window, QColor(kPlayerColor));
    SetColour(panel, QPalette::WindowText, Qt::white);
    return panel;
}

}  // namespace

TForm1::TForm1(App& application) : QMainWindow(nullptr), app(application) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Varnex"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(Gothic(11));

    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setAutoFillBackground(true);
    SetColour(client_, QPalette::Window, Qt::white);
    setCentralWidget(client_);

    buildModeRow();
    buildLightRow();
    buildPlayer();
    buildNonVisual();
    buildMenus();
    On(btnPlaylist, &TImage2::clicked, this, &TForm1::btnPlaylistClick);
    connectShellHandlers();
    connectSkinHandlers();
    ConnectPlayerHandlers();
    ConnectPlaylistDrops();
    ConnectLightHandlers();
    ConnectVkHandlers();
    ConnectRemoteHandlers();

    // As designed: the playlist shows until start-up sets the client height.
    SetClientHeight(ExpandedHeight);
    move(399, 352);
}

TForm1::~TForm1() {}

void TForm1::buildModeRow() {
    Panel2 = makePanel(client_, "Panel2", {0, 0, 425, 56}, kModeRowColor);
    Label1 = MakeLabel(Panel2, "Label1", {16, 17}, QStringLiteral("Режим:"), 15);
    ComboBox1 = place(new QComboBox(Panel2), "ComboBox1", {80, 16, 73, 25});
    ComboBox1->setFont(Gothic(12));
    ComboBox1->setEditable(false);
    ComboBox1->setItemDelegate(new FixedRowDelegate(17, ComboBox1));
    ComboBox1->addItem(QStringLiteral("0,150"));
    ComboBox1->setCurrentIndex(0);
    Button7 = MakeButton(Panel2, "Button7", {155, 16, 54, 25}, QStringLiteral("обзор"));
    Button8 = MakeButton(Panel2, "Button8", {211, 16, 62, 25}, QStringLiteral("удалить"));
    Button8->setEnabled(false);
    Button5 = MakeButton(Panel2, "Button5", {275, 16, 57, 25}, QStringLiteral("новый"));
    SpeedButton1 = MakeButton(Panel2, "SpeedButton1", {334, 16, 74, 25}, QStringLiteral("включить"));
    SpeedButton1->setCheckable(true);
}

void TForm1::buildLightRow() {
    Panel1 = makePanel(client_, "Panel1", {0, 56, 425, 56}, kLightRowColor);
    Label5 = MakeLabel(Panel1, "Label5", {16, 18}, QStringLiteral("Подсветка:"), 15);
    RzColorEdit1 = place(new ColorEdit(Panel1), "RzColorEdit1", {108, 18, 45, 23});
    Button1 = MakeButton(Panel1, "Button1", {155, 17, 50, 25}, QStringLiteral("обзор"));
    Button2 = MakeButton(Panel1, "Button2", {207, 17, 106, 25}, QStringLiteral("выкл. подсветку"));
    Button4 = MakeButton(Panel1, "Button4", {315, 17, 94, 25}, QStringLiteral("выкл. монитор"));
}

void TForm1::buildPlayer() {
    PanelMusic = makePanel(client_, "PanelMusic", {0, 112, 425, 200}, kPlayerColor);
    btnVk = place(new TImage2(PanelMusic), "btnVk", {10, 8, 24, 24});
    Time2 = makeTimePanel(PanelMusic, "Time2", {80, 10, 41, 17});
    btnPrev = place(new TImage2(PanelMusic), "btnPrev", {144, 24, 32, 32});
    btnPause = place(new TImage2(PanelMusic), "btnPause", {188, 16, 48, 48});
    btnPlay = place(new TImage2(PanelMusic), "btnPlay", {188, 16, 48, 48});  // above btnPause
    btnNext = place(new TImage2(PanelMusic), "btnNext", {248, 24, 32, 32});
    Time1 = makeTimePanel(PanelMusic, "Time1", {304, 10, 41, 17});
    btnPlaylist = place(new TImage2(PanelMusic), "btnPlaylist", {363, 8, 24, 24});
    btnVisual1 = place(new TImage2(PanelMusic), "btnVisual1", {392, 8, 24, 24});
    ProgressBar = place(new SkinSlider(PanelMusic), "ProgressBar", {8, 66, 409, 40});
    PlayList = place(new QListView(PanelMusic), "PlayList", {16, 109, 393, 76});
    PlayList->setFrameShape(QFrame::NoFrame);
    PlayList->setFont(Gothic(12));
    SetColour(PlayList, QPalette::Base, QColor(kPlayerColor));
    SetColour(PlayList, QPalette::Text, Qt::white);
    PlayList->setItemDelegate(new FixedRowDelegate(17, PlayList));
}

void TForm1::buildNonVisual() {
    // The colour dialog's sixteen custom colours start white.
    for (int i = 0; i < QColorDialog::customCount(); ++i) QColorDialog::setCustomColor(i, Qt::white);
    hintSwitch_ = new HintSwitch(this);
    hintSwitch_->Exclude(ComboBox1);
}

void TForm1::buildMenus() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    auto addItem = [](QWidget* menu, const char* name, const QString& caption) {
        auto* action = new QAction(caption, menu);
        action->setObjectName(QLatin1String(name));
        menu->addAction(action);
        return action;
    };
    N2 = addItem(MainMenu1, "N2", QStringLiteral("Настройки"));
    N3 = addItem(MainMenu1, "N3", QStringLiteral("Поверх всех окон"));
    N4 = addItem(MainMenu1, "N4", QStringLiteral("О программе"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N6 = addItem(PopupMenu1, "N6", QStringLiteral("Свернуть"));
    N7 = addItem(PopupMenu1, "N7", QStringLiteral("Настройки"));
    N9 = addItem(PopupMenu1, "N9", QStringLiteral("Выкл. монитор"));
    N1 = addItem(PopupMenu1, "N1", QStringLiteral("Выход"));

    Tray = new QSystemTrayIcon(this);
    Tray->setObjectName(QStringLiteral("Tray"));
    Tray->setContextMenu(PopupMenu1);
}

void TForm1::FormCreate() {
    // The image buttons and the slider carry the system's standard pointing hand, set on each as it is made.
    SetClientHeight(CollapsedHeight);
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr))
        throw StartupAborted("the audio library cannot be initialised: " + audio_library::LastInitError());

    btnPlay->LoadBitmap(QStringLiteral("PLAY1"));
    btnPause->LoadBitmap(QStringLiteral("PAUSE1"));
    btnNext->LoadBitmap(QStringLiteral("NEXT1"));
    btnPrev->LoadBitmap(QStringLiteral("PREV1"));
    btnPlaylist->LoadBitmap(QStringLiteral("PLAYLIST1"));
    btnVk->LoadBitmap(QStringLiteral("VK1"));
    btnVisual1->LoadBitmap(QStringLiteral("VISUAL1"));
    ProgressBar->SetSkin(QStringLiteral("PRBAR"), QStringLiteral("PRCHANGE"));

    Tray->setIcon(QIcon(LoadBitmapResource(QStringLiteral("ICON"))));
    // Asked once, before the icon goes anywhere, and only once the audio library is there: a program that
    // cannot start says nothing about the session bus.
    statusNotifier_ = new StatusNotifierCheck(this);
    // Shown from now on; where the desktop's notification area starts later, the icon docks there then.
    Tray->show();

    setHints();
    SetApplicationHintTiming();
}

void TForm1::setHints() {
    SetHint(btnPlay, QStringLiteral("Воспроизвести трек"));
    SetHint(btnPause, QStringLiteral("Приостановить воспроизведение"));
    SetHint(btnNext, QStringLiteral("Следующий трек"));
    SetHint(btnPrev, QStringLiteral("Предыдущий трек"));
    SetHint(btnPlaylist, QStringLiteral("Показать/спрятать плейлист"));
    SetHint(btnVisual1, QStringLiteral("Включить/отключить светомузыку"));
    SetHint(btnVk, QStringLiteral("Создать плейлист первых\r50-ти аудиозаписей вк"));
    SetHint(RzColorEdit1, QStringLiteral("Выбрать цвет"));
    SetHint(Button7, QStringLiteral("Просмотр выбранного режима,\rдействует пока нажата кнопка мыши!"));
    SetHint(Button5, QStringLiteral("Создать режим"));
    SetHint(Button8, QStringLiteral("Удалить выбранный режим"));
    SetHint(SpeedButton1, QStringLiteral("Включить/выключить амбилайт"));
    SetHint(Button1, QStringLiteral("Обзор палитры цветов"));
    SetHint(Button2, QStringLiteral("Выключить подсветку"));
    SetHint(Button4, QStringLiteral("Выключить монитор"));
}

int TForm1::ClientHeight() const {
    return client_->height();
}

void TForm1::SetClientHeight(int height) {
    client_->setFixedSize(ClientWidth, height);
    const int menuHeight = MainMenu1 ? MainMenu1->sizeHint().height() : 0;
    setFixedSize(ClientWidth, height + menuHeight);
}

void TForm1::SetShowHint(bool on) {
    hintSwitch_->SetEnabled(on);
}

bool TForm1::ShowHint() const {
    return hintSwitch_->Enabled();
}
