// varnex-board: a virtual light board for trying Varnex without the hardware. It opens a pseudo-terminal,
// links it under a stable path, and shows the four light zones as the commands on the line set them.
//
//   varnex-board [--link PATH] [--pace] [--print]
//   VARNEX_SERIAL_PORTS=PATH build/varnex      then pick PATH in "Выбор порта " and press "Открыть"

#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "tools/board/board_line.h"
#include "tools/board/board_window.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Ends the event loop on SIGINT and SIGTERM, so that the link is removed on the way out.
void quitOnSignals() {
    if (::pipe(signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

// What the command line asks for.
struct Options {
    QString link;
    bool pace = false;
    bool print = false;
};

// Reads the command line; --help, --version and a wrong option print and end the program here, before the
// GUI is started, so that they work without an X display.
Options readOptions(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnex-board"));
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Virtual Varnex light board on a pseudo-terminal."));
    options.addHelpOption();
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Stable path of the port."),
                                  QStringLiteral("path"), BoardLine::DefaultLinkPath());
    const QCommandLineOption pace(QStringLiteral("pace"),
                                  QStringLiteral("Read at 960 bytes/s, like 9600 baud."));
    const QCommandLineOption print(QStringLiteral("print"),
                                   QStringLiteral("Print the twelve levels (A to L) after every read."));
    options.addOptions({link, pace, print});
    options.process(app);
    return {options.value(link), options.isSet(pace), options.isSet(print)};
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = readOptions(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varnex-board"));

    try {
        BoardLine line(options.link);
        line.SetPaced(options.pace);
        std::printf("varnex-board: port %s (%s)\n", qPrintable(line.LinkPath()),
                    qPrintable(line.DevicePath()));
        std::printf("run: VARNEX_SERIAL_PORTS=%s build/varnex\n", qPrintable(line.LinkPath()));
        std::fflush(stdout);
        if (options.print) {
            QObject::connect(&line, &BoardLine::Received, &line, [&line] {
                const BoardParser& parser = line.Parser();
                std::printf("levels %s items %lld faults %lld\n", parser.LevelDigits().constData(),
                            qlonglong(parser.Items()), qlonglong(parser.Faults()));
                std::fflush(stdout);
            });
        }
        quitOnSignals();
        BoardWindow window(line);
        window.show();
        line.Start();
        return app.exec();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnex-board: %s\n", e.what());
        return 1;
    }
}
