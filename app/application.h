#pragma once

// The application object: owns the six windows, created once each, in order, and reachable from one another
// through it (app.Form2->LEdit1 ...). Tests build a fresh one per test.

#include <QString>
#include <memory>
#include <stdexcept>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class MediaControls;

// Start-up cannot go on (the audio library could not be initialised): the program shows nothing and ends.
class StartupAborted : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class App final {
public:
    // Sets the application-wide things that come before any window: the title, the font substitutes, that
    // only the main window's close ends the program, Qt's Russian texts, and that Qt's dialogs store nothing.
    // Call once, after QApplication exists.
    static void Prepare();

    // Creates TForm1 to TForm6 and runs their creation handlers. An error in one creation handler is shown
    // and the next window is still created. Throws StartupAborted when the program cannot start.
    // `folder` is where settings.ini and sound.wav are kept: the executable's folder unless given (tests give
    // a folder of their own).
    explicit App(const QString& folder = {});
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // settings.ini in the program's folder.
    QString SettingsPath() const;
    QString Folder() const { return folder_; }

    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm2> Form2;
    std::unique_ptr<TForm3> Form3;
    std::unique_ptr<TForm4> Form4;
    std::unique_ptr<TForm5> Form5;
    std::unique_ptr<TForm6> Form6;

private:
    QString folder_;
    std::unique_ptr<MediaControls> mediaControls_;  // gone before the windows it drives
};
