#pragma once

// The composition root: builds the desktop and the services (the settings, the light controller, the player
// and the VK playlist builder, the remote client), then the six windows, each made once and given the
// services it uses, and wires the services' signals to the windows and to one another. Tests build a fresh
// one per test.

#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/desktop.h"

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class MediaControls;
class Settings;
class LightController;
class Player;
class VkPlaylistBuilder;
class RemoteClient;

// Start-up cannot go on (the audio library could not be initialised): the program shows nothing and ends.
class StartupAborted : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A window that is made on first use: the first access builds it; later ones reach the same window.
template <typename Window>
class OnFirstUse {
public:
    explicit OnFirstUse(std::function<std::unique_ptr<Window>()> make) : make_(std::move(make)) {}
    Window* get() const {
        if (!window_) window_ = make_();
        return window_.get();
    }
    Window* operator->() const { return get(); }
    Window& operator*() const { return *get(); }
    // Whether the window has been made yet (asking does not make it).
    bool Made() const { return window_ != nullptr; }

private:
    std::function<std::unique_ptr<Window>()> make_;
    mutable std::unique_ptr<Window> window_;
};

class App final {
public:
    // Sets the application-wide things that come before any window: the title, the font substitutes, that
    // only the main window's close ends the program, Qt's Russian texts, and that Qt's dialogs store nothing.
    // Call once, after QApplication exists.
    static void Prepare();

    // Creates TForm1 and TForm2 and runs their creation handlers (the settings are read and applied); an
    // error in one creation handler is shown and the next window is still created. TForm3 to TForm6, which
    // nothing shows at start, are made on first use. Throws StartupAborted when the program cannot start.
    // `folder` is the program's folder, where sound.wav is kept and settings.ini when the user may write it
    // there (see SettingsFilePath): the executable's folder unless given (tests give a folder of their own).
    // `desktop` is the desktop the program runs on; the session's own (MakeDesktop) unless given (tests give
    // a fake one).
    explicit App(const QString& folder = {}, std::unique_ptr<::Desktop> desktop = nullptr);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The settings.ini this run reads and saves: beside the program, or in the user's configuration folder
    // when the program's folder is not the user's to write (an installed program). Chosen at start.
    QString SettingsPath() const { return settingsPath_; }
    QString Folder() const { return folder_; }
    // The settings of the run, read from SettingsPath() before any window is made.
    Settings& AppSettings() const { return *settings_; }

    // The lights: the serial link, the static colour, AmbiLight, colour music and the modes.
    LightController& Light() { return *light_; }
    // The player: the stream, the playlist and its current row; and the VK playlist builder that fills it.
    Player& Playback() { return *player_; }
    VkPlaylistBuilder& Vk() { return *vk_; }
    ::Desktop& Desktop() { return *desktop_; }
    RemoteClient& Remote() { return *remote_; }

private:
    QString folder_;
    QString settingsPath_;
    // The desktop and the services, made before the windows and gone after them.
    std::unique_ptr<::Desktop> desktop_;
    std::unique_ptr<Settings> settings_;
    std::unique_ptr<LightController> light_;
    std::unique_ptr<Player> player_;
    std::unique_ptr<VkPlaylistBuilder> vk_;
    std::unique_ptr<RemoteClient> remote_;

public:
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm2> Form2;
    OnFirstUse<TForm3> Form3;
    OnFirstUse<TForm4> Form4;
    OnFirstUse<TForm5> Form5;
    OnFirstUse<TForm6> Form6;

private:
    // A window made with the services (or, for the windows of app/, the application) it is given.
    template <typename Window, typename... Uses>
    std::unique_ptr<Window> makeWindow(Uses&... uses);

    std::unique_ptr<MediaControls> mediaControls_;  // gone before the windows it drives
};
