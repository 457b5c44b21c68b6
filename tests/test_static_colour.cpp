// The light row's static colour on the line: the four zone commands of a colour chosen in the colour dialog
// or the colour box, the dialog's starting colour and cancel, "выкл. подсветку", and the closed port.

#include <QColorDialog>
#include <QPushButton>
#include <QTimer>

#include "app/color_edit.h"
#include "app/main_window.h"
#include "app/messages.h"
#include "light/light_protocol.h"
#include "light/serial_link.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/test_main.h"

namespace {

// Answers the colour dialog as soon as it is open: notes where it opened, then confirms `colour`, or cancels
// when `colour` is invalid.
void answerDialog(QColor colour, QColor* openedAt) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        *openedAt = dialog->currentColor();
        if (!colour.isValid()) return dialog->reject();
        dialog->setCurrentColor(colour);
        dialog->accept();
    });
}

}  // namespace

class StaticColourTest : public QObject {
    Q_OBJECT

private slots:
    void coloursReachTheLineZoneByZone() {
        PseudoTerminal line;
        messages::Recorder recorder;
        TestApp testApp;
        TForm1& form = *testApp.app.Form1;
        form.ComPort->Port = line.slavePath();
        form.ComPort->SetConnected(true);
        form.EnabledBtn(true);
        for (int i = 0; i < QColorDialog::customCount(); ++i)
            QCOMPARE(QColorDialog::customColor(i), QColor(Qt::white));

        const struct {
            QColor colour;
            QByteArray line;
        } cases[] = {
            {QColor(255, 255, 255), "B8C8A8E8F8D8H8G8I8K8J8L8"},
            {QColor(16, 16, 16), "B0C0A0E0F0D0H0G0I0K0J0L0"},
            {QColor(17, 17, 17), "B1C1A1E1F1D1H1G1I1K1J1L1"},
            {QColor(64, 255, 128), "B2C8A4E2F8D4H2G8I4K2J8L4"},
        };
        QColor openedAt, confirmed = Qt::black;
        for (const auto& c : cases) {
            answerDialog(c.colour, &openedAt);
            form.Button1->click();
            QCOMPARE(openedAt, confirmed);  // at black first, then at the colour last confirmed
            QCOMPARE(line.read(24), c.line);
            QCOMPARE(form.RzColorEdit1->SelectedColor(), BgrFromColor(c.colour));
            confirmed = c.colour;
        }

        answerDialog(QColor(), &openedAt);  // cancelled: nothing sent, nothing changed
        form.Button1->click();
        QCOMPARE(line.read(1, 100), QByteArray());
        answerDialog(QColor(), &openedAt);
        form.Button1->click();
        QCOMPARE(openedAt, confirmed);

        // The same grid colour twice is sent twice; light off keeps the box's colour.
        form.RzColorEdit1->ChooseFromGrid(0x0000FF);
        form.RzColorEdit1->ChooseFromGrid(0x0000FF);
        QCOMPARE(line.read(48), QByteArray("B8C0A0E8F0D0H8G0I0K8J0L0").repeated(2));
        form.Button2->click();
        QCOMPARE(line.read(38), QByteArray(AllOffCommand));
        QCOMPARE(form.RzColorEdit1->SelectedColor(), 0x0000FFu);
        QVERIFY(recorder.shown().isEmpty());

        // Closed: each of the three says so and sends nothing (the dialog still opens first).
        form.ComPort->SetConnected(false);
        form.RzColorEdit1->ChooseFromGrid(0x00FF00);
        form.Button2Click();
        answerDialog(Qt::red, &openedAt);
        form.Button1Click();
        QCOMPARE(recorder.texts(), QStringList(3, QStringLiteral("Программа не подключена к COM порту!")));
        QCOMPARE(line.read(1, 100), QByteArray());
    }
};

VARNEX_TEST_MAIN(StaticColourTest)
#include "test_static_colour.moc"
