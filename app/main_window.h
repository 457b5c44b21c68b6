#pragma once

// TForm1, the main window: the mode row, the light row and the music player, plus the non-visual parts the
// subsystems drive (the serial port, the five timers, the WinLIRC socket, the menus and the tray icon) and
// the program-wide state kept beside it. Handlers of each subsystem are defined in that subsystem's folder.

#include <QColor>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

#include "player/audio_types.h"
#include "remote/winlirc.h"

class App;
class ClickSound;
class ColorEdit;
class ScreenCapture;
struct ZoneArea;
class SerialLink;
class HintSwitch;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QMimeData;
class QMenu;
class QMenuBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class SkinSlider;
class StatusNotifierCheck;
class TImage2;
class VkPage;

class TForm1 final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm1)

public:
    static constexpr int ClientWidth = 425;
    static constexpr int CollapsedHeight = 220;  // playlist hidden
    static constexpr int ExpandedHeight = 310;   // playlist shown

    explicit TForm1(App& app);
    ~TForm1() override;

    // Runs once, right after the window has been built.
    void FormCreate();

    // Enabling rule: the AmbiLight switch follows the port, the static colour controls follow Flag.
    void EnabledBtn(bool Flag);
    // Shows or hides the playlist by growing or shrinking the window one pixel at a time.
    void btnPlaylistClick();

    // Player: playback, playlist and track position (player/playback.cpp).
    void ConnectPlayerHandlers();
    void PlayListDblClick();
    void btnPlayClick();
    void btnPauseClick();
    void btnNextClick();
    void btnPrevClick();
    void TrackPosTimer();
    void ProgressBarChanged();
    void TimerNextSongTimer();
    // Stops and releases the stream, if there is one, and drops an open under way.
    void FreeStream();
    // Whether a playlist row's address is being opened: its handler's later steps wait for the open.
    bool StreamOpening() const { return openTicket_ != 0; }

    // Player: playlists from files and addresses (player/playlist_drop.cpp). Addresses, audio files, folders
    // and playlist files dropped onto PlayList or pasted into it with Ctrl+V are appended as rows.
    void ConnectPlaylistDrops();
    void PlayListDragDrop(const QMimeData& data);
    void PlayListPaste();
    class PlaylistFeed* PlayListFeed = nullptr;  // reads what came in off this thread and appends it in order

    // Lights: static colour and AmbiLight (light/static_colour_handlers.cpp, light/ambilight_handlers.cpp).
    void ConnectStaticColourHandlers();
    void RzColorEdit1Change();
    void Button1Click();
    void Button2Click();
    QColor ColorDialog1Color{Qt::black};  // where the colour dialog opens: the colour last confirmed in it
    void ConnectAmbiLightHandlers();
    void SpeedButton1Click();
    void Timer1Timer();
    QByteArray CaptureZone(const QRect& screen, const ZoneArea& area, int slot);
    void StopAmbiLight(bool writeAllOff);
    std::unique_ptr<ScreenCapture> Capture;  // the desktop's capture, chosen at AmbiLight's first start

    // Player: VK playlist builder (player/vk_handlers.cpp). Browser, the hidden web page, is made by the
    // first btnVkClick and lives as the window's child. The audio page's links are read off this thread and
    // replace the playlist when read.
    void ConnectVkHandlers();
    void btnVkClick();
    void BrowserDocumentComplete(const QString& address, const QString& body);
    VkPage* Browser = nullptr;
    class VkLinksReader* VkReader = nullptr;

    int ClientHeight() const;
    void SetClientHeight(int height);
    // The main window's show-hint switch, which every control but ComboBox1 follows.
    void SetShowHint(bool on);
    bool ShowHint() const;

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
    QListWidget* PlayList = nullptr;

    // Non-visual parts.
    SerialLink* ComPort = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* TVisual1 = nullptr;
    QTimer* TrackPos = nullptr;
    QTimer* TimerNextSong = nullptr;
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

    // Blending while the zone editor is open; off otherwise.
    bool AlphaBlend = false;
    int AlphaBlendValue = 125;

    // Program-wide state.
    HSTREAM StreamHandle = 0;
    bool ColorMusicOn = false;
    bool KeySound = false;
    int ModeX = 0, ModeY = 0;  // the mode in use by AmbiLight, read at its start
    quint8 CurrentRed = 0, CurrentGreen = 0, CurrentBlue = 0;

    // Lights: modes and colour music (light/mode_handlers.cpp, light/colour_music_handlers.cpp).
    void ConnectModeHandlers();
    void ComboBox1Change();
    void Button5Click();
    void Button7MouseDown();
    void Button7MouseUp();
    void Button8Click();
    // Blending on: the window at AlphaBlendValue of 255; off: opaque.
    void SetAlphaBlend(bool on);
    void ConnectColourMusicHandlers();
    void btnVisual1Click();
    void TVisual1Timer();
    // Colour music off: its face, flag and timer, the all-off command when `lightsOff`, and the light row and
    // the AmbiLight switch given back.
    void StopColourMusic(bool lightsOff);

    // Remote: the remote client's actions, its state texts and the power actions (app/remote_actions.cpp).
    // The server's port is 8765, or VARNEX_WINLIRC_PORT.
    void ConnectRemoteHandlers();
    void RunRemoteAction(RemoteAction action);
    bool LightAlloyRunning() const;
    // Whether WinLIRC runs, handed to `then` (see RemoteClient::CheckWinLircRunning).
    void CheckWinLircRunning(std::function<void(bool running)> then);
    void Timer2Timer();
    void SetWinLircTexts(bool connected);  // Label4 and Button6 of the settings window
    void Button4Click();
    void MonitorOn();
    void ShutdownPC();
    ClickSound* KeyClick = nullptr;

    // Tray, menus and the main window's visibility.
    static constexpr int SC_MINIMIZE = 0xF020;
    void WMSysCommand(int command);
    void N6Click();
    void N7Click();
    void N9Click();
    void N1Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void TrayDblClick();
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

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int ProgressShift = 0;     // bytes per slider unit as a power of two: 0 below 2^31 bytes
    bool EndReported = false;  // the ended track has already met the empty-list message
    unsigned openTicket_ = 0;  // the open under way, 0 when none is

    void streamOpened(HSTREAM handle, bool noAnswer, const QString& address);

    void buildModeRow();
    void buildLightRow();
    void buildPlayer();
    void buildNonVisual();
    void buildMenus();
    void setHints();
    void connectShellHandlers();
    void connectSkinHandlers();
    void restoreFromTray();

    QWidget* client_ = nullptr;
    HintSwitch* hintSwitch_ = nullptr;
    StatusNotifierCheck* statusNotifier_ = nullptr;  // whether the tray reports single activations only
};
