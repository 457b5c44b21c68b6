#pragma once

// TForm1, the main window: the mode row, the light row and the music player, the menus and the tray icon. It
// shows the services' state and passes the user's actions (and the remote's) to them: its handlers, in app/
// by feature (light_row.cpp, player_panel.cpp, remote_actions.cpp, tray_menus.cpp, skin_handlers.cpp), are a
// few lines each, and one view slot per service signal updates the controls. The controls are private; tests
// find them by their names.

#include <QColor>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "player/audio_types.h"
#include "remote/winlirc.h"

class App;
class ClickSound;
class ColorEdit;
class HintSwitch;
struct LightControls;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QListView;
class QMimeData;
class QMenu;
class QMenuBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class SkinSlider;
class StatusNotifierCheck;
class TImage2;
struct TrackPosition;

class TForm1 final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    explicit TForm1(App& app);
    ~TForm1() override;

    // Runs once, right after the window has been built.
    void FormCreate();

    // Blending on: the window at AlphaBlendValue of 255; off: opaque. On while the zone editor is open.
    void SetAlphaBlend(bool on);

    // Tray, menus and the main window's visibility: SC_MINIMIZE hides the window to the tray (the start-up
    // option of the settings too), the tray's double click brings it back, N1 ("Выход") quits; the media
    // controls raise and quit through them too.
    static constexpr int SC_MINIMIZE = 0xF020;
    void WMSysCommand(int command);
    void TrayDblClick();
    void N1Click();

    // Whether a key of the remote clicks.
    void SetKeySound(bool on);
    bool KeySoundOn() const;

    // The main window's show-hint switch, which every control but ComboBox1 follows.
    void SetShowHint(bool on);
    bool ShowHint() const;

    // Builds the VK contact's playlist; the start-up option of the settings does it too.
    void btnVkClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool KeySound = false;  // whether a key of the remote clicks
    static constexpr int ClientWidth = 425;
    static constexpr int CollapsedHeight = 220;  // playlist hidden
    static constexpr int ExpandedHeight = 310;   // playlist shown

    // Shows or hides the playlist by growing or shrinking the window one pixel at a time.
    void btnPlaylistClick();
    int ClientHeight() const;  // the window's height below its menu bar
    void SetClientHeight(int height);

    // Player: playback, playlist and track position (app/player_panel.cpp), each a call of the player.
    void ConnectPlayerHandlers();
    void PlayListDblClick();
    void btnPlayClick();
    void btnPauseClick();
    void btnNextClick();
    void btnPrevClick();
    void ProgressBarChanged();

    // Player: playlists from files and addresses (app/player_panel.cpp). Addresses, audio files, folders
    // and playlist files dropped onto PlayList or pasted into it with Ctrl+V are appended as rows.
    void ConnectPlaylistDrops();
    void PlayListDragDrop(const QMimeData& data);
    void PlayListPaste();

    // Lights: the mode row, the light row and the colour music button, which pass the user's actions to the
    // light controller and show its state (app/light_row.cpp).
    void ConnectLightHandlers();
    void RzColorEdit1Change();
    void Button1Click();
    void Button2Click();
    void SpeedButton1Click();
    void ComboBox1Change();
    void Button5Click();
    void Button7MouseDown();
    void Button7MouseUp();
    void Button8Click();
    void btnVisual1Click();

    // Player: the VK playlist builder (app/player_panel.cpp) builds the contact's playlist.
    void ConnectVkHandlers();

    // Remote: the remote client's actions, its state texts and the power actions (app/remote_actions.cpp).
    // The server's port is 8765, or VARNEX_WINLIRC_PORT.
    void ConnectRemoteHandlers();
    void RunRemoteAction(RemoteAction action);
    bool LightAlloyRunning() const;
    void Button4Click();
    void MonitorOn();
    void ShutdownPC();

    // Tray and menus.
    void N6Click();
    void N7Click();
    void N9Click();
    void N2Click();
    void N3Click();
    void N4Click();
    bool StaysOnTop() const;

    // Hover faces of the image buttons.
    void btnPlayMouseEnter();
    void btnPlayMouseLeave();
    void btnPauseMouseEnter();
    void btnPauseMouseLeave();
    void btnNextMouseEnter();
    void btnNextMouseLeave();
    void btnPrevMouseEnter();
    void btnPrevMouseLeave();
    void btnPlaylistMouseEnter();
    void btnPlaylistMouseLeave();
    void btnVisual1MouseEnter();
    void btnVisual1MouseLeave();
    void btnVkMouseEnter();
    void btnVkMouseLeave();

    // The player's views: each follows one of its signals.
    void showPlaying(bool playing);
    void showTrackOpened(std::int64_t lengthBytes, int sliderShift);
    void showPosition(const TrackPosition& position);
    void showSeek(std::int64_t bytes);
    void showCurrentRow(int row);

    void showModes(const QStringList& modes, int chosen);
    void showLightControls(const LightControls& controls);

    void buildModeRow();
    void buildLightRow();
    void buildPlayer();
    void buildNonVisual();
    void buildMenus();
    void setHints();
    void connectShellHandlers();
    void connectSkinHandlers();
    void restoreFromTray();

    App& app;

    // Mode row.
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* SpeedButton1 = nullptr;

    // Light row.
    QFrame* Panel1 = nullptr;
    QLabel* Label5 = nullptr;
    ColorEdit* RzColorEdit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button4 = nullptr;
    QColor ColorDialog1Color{Qt::black};  // where the colour dialog opens: the colour last confirmed in it

    // Player.
    QFrame* PanelMusic = nullptr;
    TImage2* btnVk = nullptr;
    QLabel* Time2 = nullptr;
    TImage2* btnPrev = nullptr;
    TImage2* btnPause = nullptr;
    TImage2* btnPlay = nullptr;
    TImage2* btnNext = nullptr;
    QLabel* Time1 = nullptr;
    TImage2* btnPlaylist = nullptr;
    TImage2* btnVisual1 = nullptr;
    SkinSlider* ProgressBar = nullptr;
    QListView* PlayList = nullptr;  // shows the player's playlist

    // Non-visual parts.
    QMenuBar* MainMenu1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N6 = nullptr;
    QAction* N7 = nullptr;
    QAction* N9 = nullptr;
    QAction* N1 = nullptr;
    QSystemTrayIcon* Tray = nullptr;
    ClickSound* KeyClick = nullptr;

    // Blending while the zone editor is open; off otherwise.
    bool AlphaBlend = false;
    int AlphaBlendValue = 125;

    QWidget* client_ = nullptr;
    HintSwitch* hintSwitch_ = nullptr;
    StatusNotifierCheck* statusNotifier_ = nullptr;  // whether the tray reports single activations only
};
