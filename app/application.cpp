#include "app/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

#include "app/about_window.h"
#include "app/light_wiring.h"
#include "app/main_window.h"
#include "channels/channel_window.h"
#include "common/fonts.h"
#include "common/handlers.h"
#include "common/hints.h"
#include "light/light_controller.h"
#include "light/zone_editor_window.h"
#include "platform/desktop_factory.h"
#include "player/media_controls.h"
#include "player/player.h"
#include "player/vk_playlist_builder.h"
#include "remote/remote_client.h"
#include "remote/shutdown_window.h"
#include "settings/program_folder.h"
#include "settings/settings.h"
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

// What the settings window chooses for the main window, at start and by its boxes, the main window does.
void connectSettingsToMainWindow(TForm2& settings, TForm1& main) {
    QObject::connect(&settings, &TForm2::KeySoundChosen, &main, [&main](bool on) { main.SetKeySound(on); });
    On(&settings, &TForm2::ShowHintChosen, &main, [&main](bool on) { main.SetShowHint(on); });
    On(&settings, &TForm2::VkPlaylistAsked, &main, &TForm1::btnVkClick);
    // Handled once the event loop runs, after the main window has been shown.
    QObject::connect(
        &settings, &TForm2::MinimiseAsked, &main,
        [&main] { RunHandler([&main] { main.WMSysCommand(TForm1::SC_MINIMIZE); }); }, Qt::QueuedConnection);
}

}  // namespace

void App::Prepare() {
    QApplication::setApplicationName(QStringLiteral("Varnex"));
    QApplication::setQuitOnLastWindowClosed(false);
    InstallFontSubstitutes();
    // Qt's own dialogs and buttons speak the program's language, whatever the user's locale.
    auto* qtTexts = new QTranslator(qApp);
    if (qtTexts->load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
    // The program keeps its settings in settings.ini only. Qt's dialogs would keep theirs (the colour
    // dialog's custom colours, the file dialog's history) in the user's QtProject.conf; pointed at a folder
    // that can never exist, they stay in memory for the run.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    // The hint timing's style is set before any widget exists, so that no window is polished twice.
    SetApplicationHintTiming();
}

// A window as the program makes it. Hints come up over any of the program's windows, whichever of them is
// active (Qt's default is the active window only).
template <typename Window, typename... Uses>
std::unique_ptr<Window> App::makeWindow(Uses&... uses) {
    auto window = std::make_unique<Window>(uses...);
    window->setAttribute(Qt::WA_AlwaysShowToolTips);
    return window;
}

App::App(const QString& folder, std::unique_ptr<::Desktop> desktop)
    : folder_(folder.isEmpty() ? ProgramFolder() : folder),
      settingsPath_(SettingsFilePath(folder_)),
      desktop_(desktop ? std::move(desktop) : MakeDesktop()),
      settings_(std::make_unique<Settings>(settingsPath_)),
      light_(std::make_unique<LightController>()),
      player_(std::make_unique<Player>()),
      vk_(std::make_unique<VkPlaylistBuilder>(player_->Playlist())),
      remote_(std::make_unique<RemoteClient>(
          [this](const QString& title) { return Desktop().WindowExists(title); }, RunHandler)),
      Form3([this] { return makeWindow<TForm3>(Desktop()); }),
      Form4([this] { return makeWindow<TForm4>(); }),
      Form5([this] {
          auto editor = makeWindow<TForm5>(*light_);
          // The zone editor, closed after making a mode, gives the main window back.
          QObject::connect(editor.get(), &TForm5::MakingModeEnded, Form1.get(), [this] {
              Form1->setEnabled(true);
              Form1->SetAlphaBlend(false);
          });
          return editor;
      }),
      Form6([this] { return makeWindow<TForm6>(); }) {
    WireLight(*this, *light_);
    // The remote keys follow the settings as a save hands them over.
    const auto keyTable = [this](const GeneralSettings& general) {
        remote_->SetKeyTable(QStringList(general.edits.begin(), general.edits.end()));
    };
    keyTable(settings_->General());
    QObject::connect(settings_.get(), &Settings::GeneralChanged, remote_.get(), keyTable);
    Form1 = makeWindow<TForm1>(*this);
    runCreation([this] { Form1->FormCreate(); });
    Form2 = makeWindow<TForm2>(*settings_, *light_, *remote_);
    // Connected before the settings window's creation, which applies the start-up options through them.
    connectSettingsToMainWindow(*Form2, *Form1);
    runCreation([this] { Form2->FormCreate(); });
    // A build under way follows the contact id as a save of the settings changes it.
    QObject::connect(settings_.get(), &Settings::GeneralChanged, vk_.get(),
                     [this](const GeneralSettings& general) { vk_->SetContactId(general.edits[9]); });
    mediaControls_ = std::make_unique<MediaControls>(
        *player_, [this] { Form1->TrayDblClick(); }, [this] { Form1->N1Click(); });
}

App::~App() {
    // The media controls go first, as they follow the player and raise the main window. The windows go before
    // the services they show, which are declared before them.
    mediaControls_.reset();
    // The connection ends while the windows are whole: its end shows in them.
    remote_->Disconnect();
    Form1.reset();
}
