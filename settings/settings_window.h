#pragma once

// TForm2, the settings window. It edits a copy of the general settings and of the LED strip's, filled from
// the program's Settings at start; "Сохранить изменения" hands the copies back to Settings, which saves them
// and announces them. The port row drives the light controller and the WinLIRC tab the remote client; what
// belongs to the main window (the key sound, its hints, the VK playlist and minimising at start) it asks for
// by its signals.

#include <QWidget>
#include <array>

class HintSwitch;
class LabeledEdit;
class LightController;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QPushButton;
class QTabWidget;
class RemoteClient;
class Settings;
class StripPage;

class TForm2 final : public QWidget {
    Q_OBJECT

public:
    TForm2(Settings& settings, LightController& light, RemoteClient& remote);

    // Runs once, right after the window has been built and its signals connected: loads the settings and
    // applies the start-up options.
    void FormCreate();
    void SettingsRead();
    void Reading();
    void Button3Click();
    void Button4Click();
    void CheckBox3Click();
    void CheckBox8Click();
    void CheckBox9Click();
    // Ends the strip's layout shown over the screen, before AmbiLight samples the screen; answers whether it
    // was shown.
    bool EndStripPreview();

    // The check box CheckBox<n> (1..9) and the edit box LEdit<n> (0..9).
    QCheckBox* CheckBox(int n) const { return checkBoxes_.at(n - 1); }
    LabeledEdit* LEdit(int n) const { return edits_.at(n); }

    QTabWidget* PageControl1;
    QWidget* TabSheet1;    // "Общие"
    QWidget* TabSheet2;    // "WinLirc"
    StripPage* TabSheet3;  // "Лента", the LED strip (settings/strip_page.h)
    QWidget* BottomPanel;

    // Port row of "Общие" and its handlers (settings/port_row.cpp).
    QLabel* Label1;        // "Выбор порта "
    QComboBox* ComBox;     // the computer's serial ports, once read; until then the stored port
    QPushButton* Button1;  // "Открыть"
    QPushButton* Button2;  // "Закрыть"
    void Button1Click();
    void Button2Click();
    // Reads the computer's ports into ComBox, keeping the chosen port when it is still there (otherwise the
    // first port is chosen). Runs when the window is first shown and each time the list drops down.
    void FillPortList();
    bool PortListRead = false;

    QPushButton* Button3;
    QPushButton* Button4;

    // "Общие".
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QCheckBox* CheckBox8;
    QCheckBox* CheckBox9;
    QCheckBox* CheckBox7;
    LabeledEdit* LEdit9;

    // "WinLirc".
    QPushButton* Button5;
    LabeledEdit* LEdit0;
    QPushButton* Button7;
    QPushButton* Button6;
    QLabel* Label4;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox6;
    LabeledEdit* LEdit1;
    LabeledEdit* LEdit2;
    LabeledEdit* LEdit3;
    LabeledEdit* LEdit4;
    LabeledEdit* LEdit5;
    LabeledEdit* LEdit6;
    LabeledEdit* LEdit7;
    LabeledEdit* LEdit8;

    HintSwitch* Hints;

    // WinLIRC connection (settings/winlirc_tab.cpp).
    void ConnectWinLircHandlers();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void SetWinLircTexts(bool connected);  // Label4 and Button6
    QFileDialog* OpenDialog1 = nullptr;

signals:
    // The click sound of the remote's keys is chosen on or off: at start and by CheckBox8.
    void KeySoundChosen(bool on);
    // The main window's hints are chosen on or off: at start (on only) and by CheckBox9.
    void ShowHintChosen(bool on);
    // At start, when the option says so: the contact's VK playlist is to be built.
    void VkPlaylistAsked();
    // At start, when the option says so: the main window is to be minimised.
    void MinimiseAsked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Centres the window each time it is shown, wherever it was left.
    void showEvent(QShowEvent* event) override;

private:
    void buildGeneralTab();
    void buildWinLircTab();
    void setHints();
    void buildPortRow();

    Settings& settings_;
    LightController& light_;
    RemoteClient& remote_;

    std::array<QCheckBox*, 9> checkBoxes_{};
    std::array<LabeledEdit*, 10> edits_{};
    bool stripUnsaved_ = false;  // the strip's values differ from what settings.ini was last given
};
