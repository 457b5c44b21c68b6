// Errors raised by handlers: shown once in the error box, and the program goes on.

#include <QPushButton>
#include <stdexcept>

#include "app/handlers.h"
#include "app/messages.h"
#include "tests/support/test_main.h"

class HandlersTest : public QObject {
    Q_OBJECT

private slots:
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
        QCOMPARE(recorder.shown().first(),
                 (messages::Shown{messages::Kind::Error, "WriteFile function failed (win error code: 5)"}));
        QCOMPARE(later, 1);

        // The next event runs its handler normally.
        button.click();
        QCOMPARE(clicks, 2);
        QCOMPARE(later, 2);
        QCOMPARE(recorder.shown().size(), 1);
    }

    void handlerTakesSignalArguments() {
        messages::Recorder recorder;
        QPushButton button;
        button.setCheckable(true);
        QList<bool> seen;
        On(&button, &QPushButton::toggled, &button, [&](bool on) {
            seen.append(on);
            if (!on) throw std::runtime_error("Unable to open com port (win error code: 2)");
        });
        button.click();
        button.click();
        QCOMPARE(seen, (QList<bool>{true, false}));
        // An error goes to the error box, a message to the message box.
        messages::ShowMessage(QStringLiteral("Плейлист пуст!"));
        QCOMPARE(recorder.shown(), (QList<messages::Shown>{
                                       {messages::Kind::Error, "Unable to open com port (win error code: 2)"},
                                       {messages::Kind::Message, "Плейлист пуст!"}}));
    }
};

VARNEX_TEST_MAIN(HandlersTest)
#include "test_handlers.moc"
