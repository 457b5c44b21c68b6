// The mode row and the zone editor on a real X server of 1920 x 1080: making a mode by dragging, cancelling
// and closing the editor from outside, deleting with the stored modes following, and the preview while a
// mouse button is held.

#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QRegion>
#include <QWindow>

#include "app/image_button.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "light/zone_editor_window.h"
#include "settings/ambilight_modes.h"
#include "settings/profile_file.h"
#include "settings/settings_keys.h"
#include "tests/support/test_main.h"

// The window's shape as the X server has it (defined last: Xlib's macros would spoil the names above).
QRegion shapeOnServer(unsigned long window);

namespace {

QStringList items(const QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
    return texts;
}

void choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

QList<QPoint> panels(const TForm5& e) {
    return {e.PnTopLeft->pos(), e.PnTopRight->pos(), e.PnBottomLeft->pos(), e.PnBottomRight->pos()};
}

bool givenBack(const TForm1& f) {
    return f.isEnabled() && !f.AlphaBlend && f.windowOpacity() == 1.0;
}

}  // namespace

class ModesTest : public QObject {
    Q_OBJECT

private slots:
    void makeCancelAndDelete() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("settings.ini"));
        ProfileFile stored;
        stored.WriteString(settings_keys::kGeneralSection, QStringLiteral("ID контакта"),
                           QStringLiteral("42"));
        WriteModes(stored, {QStringLiteral("-15,150")});
        stored.Save(path);
        App app(folder.path());
        TForm1& f = *app.Form1;
        TForm5& e = *app.Form5;
        f.show();
        const auto modesStored = [&] { return ReadModes(ProfileFile::Load(path)); };
        QVERIFY(!f.Button8->isEnabled());
        choose(f.ComboBox1, 1);
        QVERIFY(f.Button8->isEnabled());
        choose(f.ComboBox1, 0);
        QVERIFY(!f.Button8->isEnabled());
        choose(f.ComboBox1, 1);

        // "новый" starts at 0,150 whatever is selected, with the main window disabled at 125 of 255.
        QTest::mouseClick(f.Button5, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(&e));
        QVERIFY(!f.isEnabled() && f.AlphaBlend);
        QCOMPARE(qRound(f.windowOpacity() * 255), 125);
        QCOMPARE(e.geometry(), QRect(0, 0, 1920, 1080));
        QCOMPARE(panels(e), (QList<QPoint>{{0, 150}, {1820, 150}, {0, 630}, {1820, 630}}));
        QCOMPARE(e.Panel1->geometry(), QRect(844, 492, 233, 97));
        QVERIFY(!e.Button1->isEnabled());

        // A drag of 20 right and 10 down, with the right mouse button.
        QTest::mousePress(e.btnMove, Qt::RightButton, {}, {10, 10});
        QTest::mouseMove(e.btnMove, {30, 20});
        QTest::mouseRelease(e.btnMove, Qt::RightButton, {}, {10, 10});
        QCOMPARE(panels(e), (QList<QPoint>{{20, 160}, {1800, 160}, {20, 620}, {1800, 620}}));
        QVERIFY(e.Button1->isEnabled());
        // Only the panels and the instruction box are left of the window, on the X server too.
        const QRegion shown = QRegion(20, 160, 100, 300) + QRect(1800, 160, 100, 300) +
                              QRect(20, 620, 100, 300) + QRect(1800, 620, 100, 300) +
                              QRect(844, 492, 233, 97);
        QCOMPARE(e.mask(), shown);
        QTRY_COMPARE(shapeOnServer(e.winId()), shown);

        QTest::mouseClick(e.Button1, Qt::LeftButton);
        QCOMPARE(items(f.ComboBox1), (QStringList{"0,150", "-15,150", "20,160"}));
        QCOMPARE(f.ComboBox1->currentIndex(), 2);
        QVERIFY(f.Button8->isEnabled() && givenBack(f) && !e.isVisible());
        QCOMPARE(modesStored(), (QStringList{"-15,150", "20,160"}));

        // "Отмена", or the editor closed from outside, changes nothing and gives the main window back.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const auto& closeEditor :
             {std::function<void()>([&] { QTest::mouseClick(e.Button2, Qt::LeftButton); }),
              std::function<void()>([&] { e.windowHandle()->close(); })}) {
            f.Button5Click();
            QTest::mousePress(e.btnMove, Qt::LeftButton, {}, {10, 10});
            QTest::mouseMove(e.btnMove, {40, 10});
            closeEditor();
            QVERIFY(givenBack(f) && !e.isVisible());
            QCOMPARE(items(f.ComboBox1).size(), 3);
            QVERIFY(file.seek(0));
            QCOMPARE(file.readAll(), bytes);
        }

        // "удалить" renumbers; then nothing is selected and it stays enabled, and pressing it again deletes
        // nothing. The last user mode deleted leaves no mode stored, and the other settings stay.
        choose(f.ComboBox1, 1);
        f.Button8->click();
        QCOMPARE(items(f.ComboBox1), (QStringList{"0,150", "20,160"}));
        QCOMPARE(f.ComboBox1->currentIndex(), -1);
        QVERIFY(f.Button8->isEnabled());
        f.Button8->click();
        QCOMPARE(items(f.ComboBox1).size(), 2);
        QCOMPARE(modesStored(), QStringList{"20,160"});
        choose(f.ComboBox1, 1);
        f.Button8->click();
        QCOMPARE(items(f.ComboBox1), QStringList{"0,150"});
        const ProfileFile after = ProfileFile::Load(path);
        QVERIFY(after.Entries(settings_keys::kModesSection).isEmpty());
        QCOMPARE(after.ReadString(settings_keys::kGeneralSection, QStringLiteral("ID контакта")), "42");
    }

    void previewWhileAMouseButtonIsHeld() {
        messages::Recorder recorder;
        TestApp testApp;
        TForm1& f = *testApp.app.Form1;
        TForm5& e = *testApp.app.Form5;
        f.show();
        const int far = 1 << 24;
        const struct {
            QString mode;
            QPoint leftUpper;
            QString error;
        } rows[] = {
            {"20,160", {20, 160}, {}},
            {"-15,150", {-15, 150}, {}},
            {"77", {-15, 150}, {}},  // no comma: the panels stay where they were
            {"2147483647,-2147483648", {far, -far}, {}},
            {"abc,5", {}, "'abc' is not a valid integer value"},
            {"5, 7", {}, "' 7' is not a valid integer value"},
            {"99999999999,0", {}, "'99999999999' is not a valid integer value"},
            {",", {}, "'' is not a valid integer value"},
        };
        for (const auto& row : rows) {
            f.ComboBox1->addItem(row.mode);
            f.ComboBox1->setCurrentIndex(f.ComboBox1->count() - 1);
            recorder.clear();
            QTest::mousePress(f.Button7, Qt::MiddleButton);
            QCOMPARE(recorder.texts(), row.error.isEmpty() ? QStringList() : QStringList{row.error});
            QCOMPARE(e.isVisible(), row.error.isEmpty());
            if (row.error.isEmpty()) {
                const QPoint mirrored(1920 - 100 - row.leftUpper.x(),
                                      qMin(1080 - 300 - row.leftUpper.y(), far));
                QCOMPARE(e.PnTopLeft->pos(), row.leftUpper);
                QCOMPARE(e.PnBottomRight->pos(), mirrored);
                QVERIFY(e.Panel1->isHidden() && e.btnMove->isHidden() && givenBack(f));
            }
            QTest::mouseRelease(f.Button7, Qt::MiddleButton);
            QVERIFY(!e.isVisible());
        }
    }
};

VARNEX_TEST_MAIN(ModesTest)
#include "test_modes.moc"

#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

QRegion shapeOnServer(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(display, window, ShapeBounding, &count, &ordering);
    QRegion region;
    for (int i = 0; i < count; ++i) region += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    XFree(rects);
    XCloseDisplay(display);
    return region;
}
