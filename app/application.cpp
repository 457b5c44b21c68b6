#include "app/application.h"

#include <QApplication>
#include <QDir>

#include "app/about_window.h"
#include "app/fonts.h"
#include "app/handlers.h"
#include "app/main_window.h"
#include "channels/channel_window.h"
#include "light/zone_editor_window.h"
#include "remote/shutdown_window.h"
#include "settings/program_folder.h"
#include "settings/settings_window.h"

namespace {

// Runs a window's creation handler: an error is shown and start-up goes on, except the one that ends it.
template <typename Fn>
void runCreation(Fn&& creation) {
    std::exception_ptr aborted;
    RunHandler([&] {
        try {
            creation();
        } catch (const StartupAborted&) {
            aborted = std::current_exception();
        }
    });
    if (aborted) std::rethrow_exception(aborted);
}

}  // namespace

void App::Prepare() {
    QApplication::setApplicationName(QStringLiteral("Varnex"));
    QApplication::setQuitOnLastWindowClosed(false);
    InstallFontSubstitutes();
}

App::App(const QString& folder) : folder_(folder.isEmpty() ? ProgramFolder() : folder) {
    Form1 = std::make_unique<TForm1>(*this);
    runCreation([this] { Form1->FormCreate(); });
    Form2 = std::make_unique<TForm2>(*this);
    runCreation([this] { Form2->FormCreate(); });
    Form3 = std::make_unique<TForm3>(*this);
    Form4 = std::make_unique<TForm4>(*this);
    Form5 = std::make_unique<TForm5>(*this);
    Form6 = std::make_unique<TForm6>(*this);
    // Hints come up over any of the program's windows, whichever of them is active (Qt's default is the
    // active window only).
    for (QWidget* window : std::initializer_list<QWidget*>{Form1.get(), Form2.get(), Form3.get(), Form4.get(),
                                                           Form5.get(), Form6.get()})
        window->setAttribute(Qt::WA_AlwaysShowToolTips);
}

App::~App() {
    // The main window goes first: its socket, timers and streams answer to the other windows until they stop.
    Form1.reset();
}

QString App::SettingsPath() const {
    return QDir(folder_).filePath(QStringLiteral("settings.ini"));
}
