// The application shell: tray menu captions, hiding and showing, stay on top, exit, hover faces, hints and
// the About window's links.

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QHelpEvent>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolTip>
#include <optional>

#include "app/about_window.h"
#include "app/main_window.h"
#include "common/image_button.h"
#include "common/link_label.h"
#include "light/light_controller.h"
#include "settings/settings_window.h"
#include "tests/support/main_controls.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/test_main.h"

class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

namespace {

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Whether the control's hint comes up when the pointer rests on it.
bool hintShows(QWidget* control) {
    QToolTip::hideText();
    QHelpEvent event(QEvent::ToolTip, control->rect().center(),
                     control->mapToGlobal(control->rect().center()));
    QApplication::sendEvent(control, &event);
    const bool shown = QToolTip::isVisible() && QToolTip::text() == control->toolTip();
    QToolTip::hideText();
    return shown;
}

}  // namespace

class ShellTest : public QObject {
    Q_OBJECT
    std::optional<ShownMainWindow> shown;
    TForm1* form = nullptr;
    std::optional<MainControlsOf> ctl;

private slots:
    void init() {
        form = &shown.emplace().form;
        ctl.emplace(*form);
    }
    void cleanup() {
        ctl.reset();
        shown.reset();
    }

    void trayMenuCaptionFollowsVisibility() {
        QCOMPARE(ctl->N6->text(), QStringLiteral("Свернуть"));
        ctl->N6->trigger();
        QVERIFY(!form->isVisible());
        QCOMPARE(ctl->N6->text(), QStringLiteral("Развернуть"));
        ctl->N6->trigger();
        QVERIFY(form->isVisible());
        QCOMPARE(ctl->N6->text(), QStringLiteral("Свернуть"));
        // A double click on the icon while shown keeps it shown.
        form->TrayDblClick();
        QVERIFY(form->isVisible());
        QCOMPARE(ctl->N6->text(), QStringLiteral("Свернуть"));
    }

    void minimiseWithoutNotificationAreaKeepsWindowReachable() {
        if (QSystemTrayIcon::isSystemTrayAvailable()) QSKIP("this platform has a notification area");
        form->WMSysCommand(TForm1::SC_MINIMIZE);
        // Not hidden: with no tray icon a hidden window could never come back.
        QVERIFY(form->isVisible());
        QCOMPARE(ctl->N6->text(), QStringLiteral("Свернуть"));
        QTRY_VERIFY(form->isMinimized());
        // The tray menu still hides and brings it back, no longer minimised.
        ctl->N6->trigger();
        QVERIFY(!form->isVisible());
        ctl->N6->trigger();
        QVERIFY(form->isVisible());
        QVERIFY(!form->isMinimized());
    }

    void stayOnTopSwitches() {
        QVERIFY(!(form->windowFlags() & Qt::WindowStaysOnTopHint));
        ctl->N3->trigger();
        QVERIFY((form->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(form->isVisible());
        // The widget's own flags say it too, so a later change of the flags keeps it on the native window.
        form->setWindowFlags(form->windowFlags());
        form->show();
        QVERIFY(form->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
        ctl->N3->trigger();
        QVERIFY(!(form->windowHandle()->flags() & Qt::WindowStaysOnTopHint));
        QVERIFY(!(form->windowFlags() & Qt::WindowStaysOnTopHint));
        QVERIFY(form->isVisible());
    }

    void menusShowTheirWindows() {
        App& app = shown->app;
        ctl->N2->trigger();
        QVERIFY(app.Form2->isVisible());
        app.Form2->hide();
        ctl->N7->trigger();
        QVERIFY(app.Form2->isVisible());
        ctl->N4->trigger();
        QVERIFY(app.Form6->isVisible());
    }

    void exitEndsProgramWhileHidden() {
        QTimer::singleShot(0, form, [&] {
            ctl->N6->trigger();  // to the tray
            ctl->N1->trigger();
        });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
    }

    void hoverFaces() {
        QVERIFY(shown->exposed);
        const QList<std::pair<TImage2*, QString>> faces = {
            {ctl->btnNext, "NEXT"}, {ctl->btnPlay, "PLAY"},         {ctl->btnPause, "PAUSE"},
            {ctl->btnPrev, "PREV"}, {ctl->btnPlaylist, "PLAYLIST"}, {ctl->btnVk, "VK"}};
        for (const auto& [button, face] : faces) {
            emit button->mouseEntered();
            QCOMPARE(button->bitmapName(), face + "2");
            emit button->mouseLeft();
            QCOMPARE(button->bitmapName(), face + "1");
        }
        // Colour music keeps its lit face under a passing pointer.
        emit ctl->btnVisual1->mouseEntered();
        QCOMPARE(ctl->btnVisual1->bitmapName(), QStringLiteral("VISUAL12"));
        emit ctl->btnVisual1->mouseLeft();
        QCOMPARE(ctl->btnVisual1->bitmapName(), QStringLiteral("VISUAL1"));
        // Disabled (while AmbiLight runs) it looks so, as the other disabled controls do.
        const QImage enabledLook = ctl->btnVisual1->grab().toImage();
        ctl->btnVisual1->setEnabled(false);
        QVERIFY(ctl->btnVisual1->grab().toImage() != enabledLook);
        ctl->btnVisual1->setEnabled(true);
        // Colour music on, over a pseudo-terminal as the board.
        PseudoTerminal line;
        LightController& light = shown->app.Light();
        light.OpenPort(line.slavePath());
        light.SwitchColourMusic();
        emit ctl->btnVisual1->mouseEntered();
        emit ctl->btnVisual1->mouseLeft();
        QCOMPARE(ctl->btnVisual1->bitmapName(), QStringLiteral("VISUAL12"));
        light.SwitchColourMusic();
        light.ClosePort();

        // A button hidden under the pointer hands the hover to the one below it.
        QTest::mouseMove(ctl->btnPlay, ctl->btnPlay->rect().center());
        QTRY_COMPARE(ctl->btnPlay->bitmapName(), QStringLiteral("PLAY2"));
        ctl->btnPlay->hide();
        QTRY_COMPARE(ctl->btnPause->bitmapName(), QStringLiteral("PAUSE2"));
        QCOMPARE(ctl->btnPlay->bitmapName(), QStringLiteral("PLAY1"));
    }

    void mainWindowHintsFollowTheSwitch() {
        QVERIFY(shown->exposed);
        form->SetShowHint(false);
        QVERIFY(!hintShows(ctl->Button5));
        form->SetShowHint(true);
        QVERIFY(hintShows(ctl->Button5));
        QVERIFY(hintShows(ctl->btnVk));
        // The mode list never shows a hint, even one given to it.
        ctl->ComboBox1->setToolTip(QStringLiteral("0,150"));
        QVERIFY(!hintShows(ctl->ComboBox1));
        QCOMPARE(ctl->btnVk->toolTip(), QStringLiteral("Создать плейлист первых\n50-ти аудиозаписей вк"));
        QCOMPARE(ctl->btnVk->toolTipDuration(), 5000);
        QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 50);
        QCOMPARE(QToolTip::palette().color(QPalette::ToolTipBase), QColor(Qt::white));

        // The pointer resting on the main window brings its hint up while another window is active.
        shown->app.Form2->show();
        QVERIFY(QTest::qWaitForWindowActive(shown->app.Form2.get()));
        QTest::mouseMove(ctl->Button5, ctl->Button5->rect().center());
        QTRY_VERIFY(QToolTip::isVisible() && QToolTip::text() == ctl->Button5->toolTip());
    }

    void aboutLinksOpenTheDesktopsPrograms() {
        App& app = shown->app;
        UrlRecorder recorder;
        for (const char* scheme : {"https", "mailto"})
            QDesktopServices::setUrlHandler(scheme, &recorder, "open");
        app.Form6->show();
        QVERIFY(QTest::qWaitForWindowExposed(app.Form6.get()));
        click(app.Form6->Label3);
        click(app.Form6->Label5);
        for (const char* scheme : {"https", "mailto"}) QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(recorder.opened, (QList<QUrl>{QUrl(TForm6::BoardArticle),
                                               QUrl(QStringLiteral("mailto:") + TForm6::AuthorMail)}));
        // "данный" sits in the gap of the sentence.
        QVERIFY(app.Form6->Label3->x() > app.Form6->Label2->x());
        QVERIFY(app.Form6->Label3->geometry().right() < app.Form6->Label2->geometry().right());
    }
};

VARNEX_TEST_MAIN(ShellTest)
#include "test_shell.moc"
