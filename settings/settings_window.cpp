#include "settings/settings_window.h"

#include <QCheckBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>

#include "common/fonts.h"
#include "common/handlers.h"
#include "common/hints.h"
#include "common/window_setup.h"
#include "light/light_controller.h"
#include "settings/labeled_edit.h"
#include "settings/settings_keys.h"
#include "settings/strip_page.h"

namespace {

constexpr QSize kClientSize(361, 500);
constexpr int kBottomPanelHeight = 58;
constexpr int kCheckBoxWidth = 313;

// The caption of CheckBox<n>, which is also its key in settings.ini.
const QString& caption(int n) {
    return settings_keys::kCheckBoxCaptions[n - 1];
}

// A check box with its caption on the left and the box on the right.
QCheckBox* makeCheckBox(QWidget* parent, const char* name, QPoint at, int height, const QString& caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setLayoutDirection(Qt::RightToLeft);
    box->setGeometry(at.x(), at.y(), kCheckBoxWidth, height);
    return box;
}

}  // namespace

TForm2::TForm2(Settings& settings, LightController& light, RemoteClient& remote)
    : QWidget(nullptr), settings_(settings), light_(light), remote_(remote) {
    SetupWindow(this, "Form2", QStringLiteral("Varnex | Настройки"),
                Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, kClientSize, Qt::white, 12);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 8, 345, 433);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Общие"));
    PageControl1->addTab(TabSheet2, QStringLiteral("WinLirc"));
    TabSheet3 = new StripPage;
    PageControl1->addTab(TabSheet3, QStringLiteral("Лента"));
    buildPortRow();

    // The white strip along the bottom holds the save and cancel buttons.
    BottomPanel = new QWidget(this);
    BottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    BottomPanel->setGeometry(0, kClientSize.height() - kBottomPanelHeight, kClientSize.width(),
                             kBottomPanelHeight);
    Button3 = MakeButton(BottomPanel, "Button3", {56, 16, 161, 25}, QStringLiteral("Сохранить изменения"));
    Button4 = MakeButton(BottomPanel, "Button4", {224, 16, 73, 25}, QStringLiteral("Отмена"));

    buildGeneralTab();
    buildWinLircTab();
    checkBoxes_ = {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5,
                   CheckBox6, CheckBox7, CheckBox8, CheckBox9};
    edits_ = {LEdit0, LEdit1, LEdit2, LEdit3, LEdit4, LEdit5, LEdit6, LEdit7, LEdit8, LEdit9};
    Hints = new HintSwitch(this);

    On(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    On(Button4, &QPushButton::clicked, this, &TForm2::Button4Click);
    // Setting a box from code runs its handler just as a click does.
    On(CheckBox3, &QCheckBox::toggled, this, &TForm2::CheckBox3Click);
    On(CheckBox8, &QCheckBox::toggled, this, &TForm2::CheckBox8Click);
    On(CheckBox9, &QCheckBox::toggled, this, &TForm2::CheckBox9Click);
    LEdit9->installEventFilter(this);
    ConnectWinLircHandlers();
    connect(&light_, &LightController::AmbiLightChanged, TabSheet3, &StripPage::SetAmbiLightOn);
}

void TForm2::buildGeneralTab() {
    QWidget* tab = TabSheet1;
    CheckBox1 = makeCheckBox(tab, "CheckBox1", {8, 49}, 32, caption(1));
    CheckBox2 = makeCheckBox(tab, "CheckBox2", {8, 88}, 17, caption(2));
    CheckBox3 = makeCheckBox(tab, "CheckBox3", {8, 120}, 17, caption(3));
    CheckBox4 = makeCheckBox(tab, "CheckBox4", {8, 152}, 17, caption(4));
    CheckBox8 = makeCheckBox(tab, "CheckBox8", {8, 184}, 17, caption(8));
    CheckBox9 = makeCheckBox(tab, "CheckBox9", {8, 216}, 17, caption(9));
    CheckBox7 = makeCheckBox(tab, "CheckBox7", {8, 248}, 17, caption(7));
    LEdit9 = new LabeledEdit(tab, "LEdit9", {8, 280, 97, 25}, settings_keys::kLEditLabels[9]);
}

void TForm2::buildWinLircTab() {
    QWidget* tab = TabSheet2;
    Button5 = MakeButton(tab, "Button5", {8, 16, 49, 25}, QStringLiteral("обзор"));
    LEdit0 = new LabeledEdit(tab, "LEdit0", {61, 16, 165, 25}, settings_keys::kLEditLabels[0], 8);
    Button7 = MakeButton(tab, "Button7", {8, 48, 67, 25}, QStringLiteral("открыть"));
    Button6 = MakeButton(tab, "Button6", {80, 48, 99, 25}, QStringLiteral("подключиться"));
    Label4 = new QLabel(QStringLiteral("WinLirc отключен"), tab);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(Gothic(13));
    SetColour(Label4, QPalette::WindowText, QColor(0x33a4e8));
    Label4->move(192, 54);
    Label4->adjustSize();
    CheckBox5 = makeCheckBox(tab, "CheckBox5", {8, 72}, 41, caption(5));
    CheckBox6 = makeCheckBox(tab, "CheckBox6", {8, 104}, 41, caption(6));
    LabeledEdit** boxes[] = {&LEdit1, &LEdit2, &LEdit3, &LEdit4, &LEdit5, &LEdit6, &LEdit7, &LEdit8};
    for (int i = 0; i < 8; ++i) {
        const QByteArray name = "LEdit" + QByteArray::number(i + 1);
        *boxes[i] = new LabeledEdit(tab, name.constData(), {8, 144 + 32 * i, 97, 25},
                                    settings_keys::kLEditLabels[i + 1]);
    }
}

void TForm2::setHints() {
    SetHint(CheckBox7,
            QStringLiteral("Добавлять в плейлист первые 50 аудиозаписей\rс указанного ниже ID контакта"));
    SetHint(LEdit9, QStringLiteral("ID пользователя сайта вконтакте\r(можно вводить только цифры!)"));
    SetHint(LEdit4, QStringLiteral("Включить/выключить светомузыку"));
    SetHint(LEdit5, QStringLiteral("Включить/выключить амбилайт"));
    SetHint(LEdit6, QStringLiteral(
                        "Выключить компьюетр (держать нажатой кнопку более 3-х секунд)\rПри появлении окна "
                        "\"Выключить компьютер?\" нажать на кнопку пулта ещё раз"));
    SetHint(LEdit7,
            QStringLiteral("Отмена выключения компьюетра\r(когда появилось окно \"Выключить компьютер?\")"));
    SetHint(LEdit8,
            QStringLiteral(
                "Выключить/включить монитор\r(Для выключения, держать нажатой кнопку более 3-х секунд)"));
}

// The contact id takes digits only: a typed character passes when it is a digit or backspace, also when an
// input method composes it. Text pasted into the box is not filtered.
bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched != LEdit9) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::InputMethod) {
        auto* input = static_cast<QInputMethodEvent*>(event);
        QString digits = input->commitString();
        digits.removeIf([](QChar c) { return c < u'0' || c > u'9'; });
        if (digits != input->commitString()) input->setCommitString(digits);
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.isEmpty() || key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
    const QChar c = text.front();
    const bool passes = c == QChar(8) || key->key() == Qt::Key_Backspace || (c >= u'0' && c <= u'9');
    return !passes && c.isPrint();
}

void TForm2::showEvent(QShowEvent* event) {
    if (!PortListRead) FillPortList();
    if (!event->spontaneous()) CentreOnScreen(this);
    QWidget::showEvent(event);
}

void TForm2::Button4Click() {
    close();
}
