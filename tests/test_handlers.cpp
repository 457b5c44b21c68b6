// Errors raised by handlers: shown once in the error box, and the program goes on.

#include <QPushButton>
#include <stdexcept>

#include "common/handlers.h"
#include "common/messages.h"
#include "tests/support/test_main.h"

class HandlersTest : public QObject {
    Q_OBJECT

private slots:
    // A handler's error is shown once in the error box, a message in the message box; the next handler and
    // the next event run as usual, and handlers take the signal's arguments.
    void errorIsShownOnceAndNextHandlerRuns() {
        messages::Recorder recorder;
        QPushButton button;
        int later = 0;
        int clicks = 0;
        On(&button, &QPushButton::clicked, &button, [&] {
            ++clicks;
            if (clicks == 1) throw std::runtime_error("WriteFile function failed (win error code: 5)");
        });
        On(&button, &QPushButton::clicked, &button, [&] { ++later; });
        button.click();
        QCOMPARE(recorder.shown().size(), 1);
        QCOMPARE(later, 1);
        button.click();
        QVERIFY(clicks == 2 && later == 2);

        QPushButton toggle;
        toggle.setCheckable(true);
        QList<bool> seen;
        On(&toggle, &QPushButton::toggled, &toggle, [&](bool on) {
            seen.append(on);
            if (!on) throw std::runtime_error("Unable to open com port (win error code: 2)");
        });
        toggle.click();
        toggle.click();
        QCOMPARE(seen, (QList<bool>{true, false}));
        messages::ShowMessage(QStringLiteral("Плейлист пуст!"));
        QCOMPARE(
            recorder.shown(),
            (QList<messages::Shown>{{messages::Kind::Error, "WriteFile function failed (win error code: 5)"},
                                    {messages::Kind::Error, "Unable to open com port (win error code: 2)"},
                                    {messages::Kind::Message, "Плейлист пуст!"}}));
    }
};

VARNEX_TEST_MAIN(HandlersTest)
#include "test_handlers.moc"
