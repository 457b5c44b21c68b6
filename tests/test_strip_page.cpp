// The settings window's strip page: the [Strip] section read into its fields and written back from them,
// a layout that does not fit the screen refused, the fields following the output, and the layout shown over
// the screen. Offscreen, the primary screen is 800 x 800.

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <optional>

#include "app/main_window.h"
#include "common/messages.h"
#include "light/light_controller.h"
#include "light/strip_preview_window.h"
#include "remote/remote_client.h"
#include "settings/profile_file.h"
#include "settings/settings.h"
#include "settings/settings_window.h"
#include "settings/strip_page.h"
#include "tests/support/extra_ports.h"
#include "tests/support/image_capture.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/settings_file.h"
#include "tests/support/test_main.h"

namespace {

constexpr QSize kScreen(800, 800);

StripPage& PageOf(App& app) {
    return *app.Form2->TabSheet3;
}

StripSettings StripInFile(App& app) {
    return ReadStripSettings(ProfileFile::Load(app.SettingsPath()));
}

// Which of the page's fields take input, in the order: port, speed, address, UDP port, the colour fields,
// the layout's fields, "Показать".
QList<bool> EnabledFields(const StripPage& page) {
    QList<bool> enabled;
    for (const QWidget* field : std::initializer_list<const QWidget*>{
             page.SerialPortBox, page.BaudBox, page.HostEdit, page.UdpPortEdit, page.OrderBox})
        enabled << field->isEnabled();
    const bool colours = page.BrightnessEdit->isEnabled();
    const bool layout = page.LedsTopEdit->isEnabled();
    for (const QWidget* field : std::initializer_list<const QWidget*>{page.GammaEdit, page.SmoothingEdit})
        if (field->isEnabled() != colours) qFatal("the colour fields differ");
    for (const QWidget* field : std::initializer_list<const QWidget*>{
             page.LedsRightEdit, page.LedsBottomEdit, page.LedsLeftEdit, page.StartBox, page.DirectionBox,
             page.GapEdit, page.DepthEdit})
        if (field->isEnabled() != layout) qFatal("the layout fields differ");
    return enabled << colours << layout << page.ShowButton->isEnabled();
}

// A colour as the screen holds it, without alpha.
QRgb Rgb(QColor colour) {
    return colour.rgb() & RGB_MASK;
}

StripPreviewWindow* Preview() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* preview = qobject_cast<StripPreviewWindow*>(window)) return preview;
    return nullptr;
}

}  // namespace

class StripPageTest : public QObject {
    Q_OBJECT

    std::optional<QTemporaryDir> dir;  // the program's folder, new for each test

private slots:
    void init() { dir.emplace(); }

    // The section read into the fields (also values the lists do not offer, and the stored port while the
    // computer does not list it), the fields following the output, and what is typed written back on
    // "Сохранить изменения" and read again at the next start.
    void pageReadsFollowsAndWritesTheSection() {
        WriteSettings(dir->path(),
                      QStringLiteral("[Общие настройки]\r\nID контакта=42\r\n[Strip]\r\n"
                                     "Output=wled\r\nHost=strip.local\r\nUdpPort=0\r\n"
                                     "SerialPort=/dev/ttyGone\r\nBaud=1234567\r\n"
                                     "ColourOrder=GRB\r\nBrightnessLimit=60\r\nGamma=2,2\r\n"
                                     "Smoothing=120\r\nLedsTop=20\r\nLedsRight=11\r\n"
                                     "LedsBottom=18\r\nLedsLeft=11\r\nStartCorner=TopRight\r\n"
                                     "Direction=CounterClockwise\r\nBottomGap=4\r\nDepth=15\r\n"));
        const ExtraPorts ports(QStringLiteral("/dev/ttyStrip0"));
        messages::Recorder recorder;
        StripSettings expected;
        {
            App app(dir->path());
            StripPage& page = PageOf(app);
            QCOMPARE(page.Values(), app.AppSettings().Strip());
            QCOMPARE(page.Values(), StripInFile(app));
            QCOMPARE(page.OutputBox->currentText(), QStringLiteral("WLED"));
            QCOMPARE(page.BaudBox->currentText(), QStringLiteral("1234567"));
            QCOMPARE(page.OrderBox->currentText(), QStringLiteral("GRB"));
            QCOMPARE(page.GammaEdit->value(), 2.2);
            QCOMPARE(page.StartBox->currentText(), QStringLiteral("правый верхний угол"));
            QCOMPARE(page.DirectionBox->currentText(), QStringLiteral("против часовой стрелки"));
            QCOMPARE(page.UdpPortEdit->text(), QStringLiteral("свой (21324)"));
            QCOMPARE(EnabledFields(page), (QList<bool>{false, false, true, true, true, true, true, true}));
            page.OutputBox->setCurrentIndex(3);  // DDP
            QCOMPARE(page.UdpPortEdit->text(), QStringLiteral("свой (4048)"));
            page.OutputBox->setCurrentIndex(0);  // the board uses none of them
            QCOMPARE(EnabledFields(page),
                     (QList<bool>{false, false, false, false, false, false, false, false}));
            page.OutputBox->setCurrentText(QStringLiteral("Adalight"));
            QCOMPARE(EnabledFields(page), (QList<bool>{true, true, false, false, true, true, true, true}));

            // The port list is read when the page is first shown; the stored port stays chosen.
            app.Form2->show();
            app.Form2->PageControl1->setCurrentWidget(&page);
            const QStringList listed = ItemTexts(page.SerialPortBox->model());
            QCOMPARE(listed.mid(listed.size() - 2), (QStringList{"/dev/ttyStrip0", "/dev/ttyGone"}));
            QCOMPARE(page.SerialPortBox->currentText(), QStringLiteral("/dev/ttyGone"));
            page.SerialPortBox->setCurrentText(QStringLiteral("/dev/ttyStrip0"));
            page.BaudBox->setCurrentText(QStringLiteral("1000000"));
            page.OrderBox->setCurrentText(QStringLiteral("BGR"));
            page.BrightnessEdit->setValue(35);
            page.GammaEdit->setValue(2.5);
            page.SmoothingEdit->setValue(40);
            page.LedsTopEdit->setValue(40);
            page.LedsLeftEdit->setValue(0);
            page.StartBox->setCurrentIndex(0);
            page.DirectionBox->setCurrentIndex(0);
            page.GapEdit->setValue(2);
            page.DepthEdit->setValue(12);

            expected = app.AppSettings().Strip();
            expected.output = {StripOutput::Kind::Adalight,
                               "/dev/ttyStrip0",
                               1000000,
                               "strip.local",
                               0,
                               ColourOrder::BGR,
                               35,
                               2.5,
                               40};
            expected.layout = {40, 11, 18, 0, StripCorner::TopLeft, StripDirection::Clockwise, 2, 12};
            QSignalSpy changed(&app.AppSettings(), &Settings::StripChanged);
            app.Form2->Button3->click();
            QVERIFY(!app.Form2->isVisible());
            QCOMPARE(changed.count(), 1);
            QCOMPARE(app.AppSettings().Strip(), expected);
            QCOMPARE(StripInFile(app), expected);
            const QString text = ReadSettings(dir->path());
            QVERIFY(text.contains(QStringLiteral("\r\nID контакта=42\r\n")));
            for (const char* line : {"Output=Adalight", "Baud=1000000", "Host=strip.local", "Gamma=2.5",
                                     "StartCorner=TopLeft", "LedsLeft=0"})
                QVERIFY2(text.contains("\r\n" + QLatin1String(line) + "\r\n"), line);
        }
        App app(dir->path());
        QCOMPARE(PageOf(app).Values(), expected);
        QCOMPARE(PageOf(app).SerialPortBox->currentText(), QStringLiteral("/dev/ttyStrip0"));
        QVERIFY(recorder.shown().isEmpty());
    }

    // A strip output whose layout does not fit the screen: saving and "Показать" say why, the page comes
    // forward with the values as typed, and nothing is written or shown. The board uses no layout, so there
    // the same values are saved as they are.
    void faultyLayoutIsRefused() {
        const QByteArray bytes = "[Strip]\r\nOutput=DDP\r\nLedsTop=30\r\n";
        WriteFileBytes(dir->filePath(QStringLiteral("settings.ini")), bytes);
        messages::Recorder recorder;
        App app(dir->path());
        StripPage& page = PageOf(app);
        app.Form2->show();
        page.LedsTopEdit->setValue(801);  // more LEDs than the top side has pixels
        StripLayout layout = page.Values().layout;
        const QString fault = StripLayoutFault(layout, kScreen);
        QVERIFY(fault.contains(QStringLiteral("801")));
        app.Form2->Button3->click();
        page.ShowButton->click();
        QCOMPARE(recorder.shown(), (QList<messages::Shown>{{messages::Kind::Message, fault},
                                                           {messages::Kind::Message, fault}}));
        QVERIFY(app.Form2->isVisible() && (!Preview() || !Preview()->isVisible()));
        QCOMPARE(app.Form2->PageControl1->currentWidget(), &page);
        QCOMPARE(page.LedsTopEdit->value(), 801);
        QCOMPARE(app.AppSettings().Strip().layout.top, 30);
        QCOMPARE(ReadFileBytes(app.SettingsPath()), bytes);

        page.OutputBox->setCurrentIndex(0);
        app.Form2->Button3->click();
        QVERIFY(!app.Form2->isVisible());
        QCOMPARE(StripInFile(app).layout.top, 801);
        QCOMPARE(recorder.shown().size(), 2);
    }

    // A save that cannot write the file takes the strip's values for the run all the same; the next save,
    // once the file can be written, still writes them.
    void stripIsWrittenByTheSaveAfterAFailedOne() {
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("settings.ini")));
        messages::Recorder recorder;
        const ExtraPorts ports(QStringLiteral("/dev/ttyStrip0"));
        App app(dir->path());
        StripPage& page = PageOf(app);
        app.Form2->show();
        // With no port stored, none is chosen for the user when the list is read.
        app.Form2->PageControl1->setCurrentWidget(&page);
        QVERIFY(page.SerialPortBox->count() > 0 && page.SerialPortBox->currentIndex() == -1);
        page.OutputBox->setCurrentText(QStringLiteral("WLED"));
        page.HostEdit->setText(QStringLiteral(" 127.0.0.1 "));
        app.Form2->Button3->click();
        QVERIFY(app.Form2->isVisible());
        QCOMPARE(recorder.shown().size(), 1);
        QCOMPARE(app.AppSettings().Strip().output.host, QStringLiteral("127.0.0.1"));
        QVERIFY(QDir(dir->path()).rmdir(QStringLiteral("settings.ini")));
        app.Form2->Button3->click();
        QVERIFY(!app.Form2->isVisible());
        QCOMPARE(StripInFile(app), page.Values());
        QCOMPARE(StripInFile(app).output.kind, StripOutput::Kind::Wled);
    }

    // "Показать" covers the screen with every LED's area in its colour along the strip, LED 0 in a white
    // frame, the gap dark; a click, Esc or ShownMs ends it, and so does AmbiLight's start, during which
    // "Показать" is off.
    void previewPaintsTheLayout() {
        PseudoTerminal line;
        const ExtraPorts ports(line.slavePath());
        // The run's strip is the board's (AmbiLight below drives no strip); the page chooses Adalight,
        // unsaved.
        WriteSettings(dir->path(), QStringLiteral("[Strip]\r\nOutput=Board\r\nLedsTop=8\r\nLedsRight=5\r\n"
                                                  "LedsBottom=6\r\nLedsLeft=5\r\nBottomGap=2\r\n"
                                                  "StartCorner=BottomLeft\r\nDirection=Clockwise\r\n"));
        messages::Recorder recorder;
        App app(dir->path());
        StripPage& page = PageOf(app);
        QVERIFY(!page.ShowButton->isEnabled());
        page.OutputBox->setCurrentText(QStringLiteral("Adalight"));
        const StripLayout layout = page.Values().layout;
        const std::vector<QRect> areas = LedAreas(layout, kScreen);
        QCOMPARE(qsizetype(areas.size()), 24);
        QCOMPARE(QGuiApplication::primaryScreen()->size(), kScreen);

        page.ShowButton->click();
        StripPreviewWindow* preview = Preview();
        QVERIFY(preview && preview->isVisible());
        QCOMPARE(preview->geometry(), QRect(QPoint(), kScreen));
        const QImage image = preview->grab().toImage();
        QCOMPARE(image.size(), kScreen);
        const auto colourAt = [&image](QPoint at) { return image.pixel(at) & RGB_MASK; };
        const auto colourOf = [count = qint64(areas.size())](qint64 led) {
            return Rgb(StripPreviewColour(led, count));
        };
        // LEDs 1 and 2 lie under the arrow from LED 0; each of the others shows its colour at its centre.
        const qint64 count = qint64(areas.size());
        for (qint64 led = 3; led < count; ++led)
            QCOMPARE(colourAt(areas[size_t(led)].center()), colourOf(led));
        QCOMPARE(colourAt(areas[1].topLeft() + QPoint(4, 4)), colourOf(1));
        QVERIFY(colourOf(0) != colourOf(count - 1) && colourOf(0) != colourOf(1));
        // LED 0 (the left side's lowest) in its frame, the arrow running up from it; the gap's two runs in
        // the bottom band's middle, and the screen's middle away from the text, dark.
        QCOMPARE(areas[0], QRect(0, 592, 80, 128));
        const QRgb white = Rgb(Qt::white);
        QCOMPARE(colourAt(areas[0].topLeft() + QPoint(1, 1)), white);
        QCOMPARE(colourAt({1, 650}), white);
        QCOMPARE(colourAt(areas[0].bottomRight() - QPoint(4, 30)), colourOf(0));
        for (const QPoint dark : {QPoint(300, 760), QPoint(499, 760), QPoint(200, 200)})
            QCOMPARE(colourAt(dark), StripPreviewWindow::Background);
        // The bottom side runs right to left: LED 20 ends at the gap's right edge, LED 21 starts left of it.
        QCOMPARE(colourAt({500, 760}), colourOf(20));
        QCOMPARE(colourAt({298, 760}), colourOf(21));

        QTest::mouseClick(preview, Qt::RightButton, {}, {400, 400});
        QVERIFY(!preview->isVisible());
        page.ShowButton->click();
        QTest::keyClick(preview, Qt::Key_Escape);
        QVERIFY(!preview->isVisible());
        page.ShowButton->click();
        QTest::qWait(StripPreviewWindow::ShownMs - 1000);
        QVERIFY(preview->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!preview->isVisible(), 3000);

        // AmbiLight started, by the remote's key say, while the layout shows.
        QVERIFY(ChoosePort(*app.Form2, line.slavePath()));
        app.Form2->Button1Click();
        app.Light().SetCaptureFactory(
            [] { return std::make_unique<ImageCapture>(QImage(kScreen, QImage::Format_RGB32)); });
        page.ShowButton->click();
        QVERIFY(preview->isVisible());
        emit app.Remote().Action(RemoteAction::AmbiLight);
        QVERIFY(app.Light().AmbiLightOn());
        QVERIFY(!preview->isVisible() && !page.ShowButton->isEnabled());
        emit app.Remote().Action(RemoteAction::AmbiLight);
        QVERIFY(!app.Light().AmbiLightOn() && page.ShowButton->isEnabled());
        QVERIFY(recorder.shown().isEmpty());
    }
};

VARNEX_TEST_MAIN(StripPageTest)
#include "test_strip_page.moc"
