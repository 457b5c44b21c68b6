// varnex-board: a virtual light board for trying Varnex without the hardware. It opens a pseudo-terminal,
// links it under a stable path, and shows the four light zones as the commands on the line set them.
//
//   varnex-board [--link PATH] [--pace] [--print]
//   VARNEX_SERIAL_PORTS=PATH build/varnex      then pick PATH in "Выбор порта " and press "Открыть"
//
// It can be an LED strip instead: an Adalight controller on the pseudo-terminal, a WLED controller taking
// realtime UDP packets, a DDP receiver, or all of them at once (the window shows the last frame from any).
//
//   varnex-board --adalight [--baud N] [--pace] [--link PATH] [--wled [PORT]] [--ddp [PORT]]
//                [--sides T,R,B,L] [--print]

#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "tools/board/board_line.h"
#include "tools/board/board_window.h"
#include "tools/board/strip_udp.h"
#include "tools/board/strip_window.h"

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
    // The strip's modes; none of them: the board.
    bool adalight = false;
    int baud = 115200;
    std::optional<quint16> wledPort;
    std::optional<quint16> ddpPort;
    std::optional<StripSides> sides;

    bool Strip() const { return adalight || wledPort || ddpPort; }
};

// "--wled" and "--ddp" take a port or none: a bare one gets its protocol's port, so that the parser, which
// knows only options that always or never take a value, can read them.
QStringList withDefaultPorts(QStringList arguments) {
    const std::pair<QString, quint16> optional[] = {{QStringLiteral("--wled"), StripUdpReceiver::WledPort},
                                                    {QStringLiteral("--ddp"), StripUdpReceiver::DdpPort}};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        for (const auto& [name, port] : optional) {
            if (arguments[i] != name) continue;
            bool number = false;
            if (i + 1 < arguments.size()) arguments[i + 1].toUInt(&number);
            if (!number) arguments[i] += QLatin1Char('=') + QString::number(port);
        }
    }
    return arguments;
}

std::optional<StripSides> sidesOf(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) return std::nullopt;
    StripSides sides{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        sides[i] = parts[i].trimmed().toInt(&ok);
        if (!ok || sides[i] < 0 || sides[i] > 10000) return std::nullopt;
    }
    return sides;
}

// Reads the command line; --help, --version and a wrong option print and end the program here, before the
// GUI is started, so that they work without an X display.
Options readOptions(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnex-board"));
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Virtual Varnex light board on a pseudo-terminal, or a virtual LED strip: Adalight on the "
        "pseudo-terminal, WLED realtime and DDP on UDP 127.0.0.1."));
    options.addHelpOption();
    const QCommandLineOption link(QStringLiteral("link"), QStringLiteral("Stable path of the port."),
                                  QStringLiteral("path"), BoardLine::DefaultLinkPath());
    const QCommandLineOption pace(QStringLiteral("pace"),
                                  QStringLiteral("Read at 960 bytes/s, like 9600 baud (with --adalight: "
                                                 "at the --baud rate)."));
    const QCommandLineOption print(
        QStringLiteral("print"),
        QStringLiteral("Print the twelve levels (A to L) after every read; as a strip, one line per frame."));
    const QCommandLineOption adalight(QStringLiteral("adalight"),
                                      QStringLiteral("Be an Adalight LED strip on the port."));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("The Adalight line's baud rate, 10 bits a byte (115200)."),
                                  QStringLiteral("rate"), QStringLiteral("115200"));
    const QCommandLineOption wled(
        QStringLiteral("wled"),
        QStringLiteral(
            "Take WLED realtime packets (DRGB, DNRGB) on 127.0.0.1:port (21324; 0: any free port)."),
        QStringLiteral("port"));
    const QCommandLineOption ddp(
        QStringLiteral("ddp"), QStringLiteral("Take DDP packets on 127.0.0.1:port (4048; 0: any free port)."),
        QStringLiteral("port"));
    const QCommandLineOption sides(
        QStringLiteral("sides"),
        QStringLiteral("Draw the strip round the screen, LEDs per side: top, right, "
                       "bottom, left, LED 0 at the top left."),
        QStringLiteral("T,R,B,L"));
    options.addOptions({link, pace, print, adalight, baud, wled, ddp, sides});
    options.process(withDefaultPorts(QCoreApplication::arguments()));

    Options chosen;
    chosen.link = options.value(link);
    chosen.pace = options.isSet(pace);
    chosen.print = options.isSet(print);
    chosen.adalight = options.isSet(adalight);
    auto fail = [&options](const QString& text) {
        std::fprintf(stderr, "varnex-board: %s\n\n%s", qPrintable(text), qPrintable(options.helpText()));
        std::exit(2);
    };
    bool ok = false;
    chosen.baud = options.value(baud).toInt(&ok);
    if (!ok || chosen.baud < 300 || chosen.baud > 12000000) fail(QStringLiteral("bad --baud"));
    for (const auto& [option, port] :
         {std::pair{&wled, &chosen.wledPort}, std::pair{&ddp, &chosen.ddpPort}}) {
        if (!options.isSet(*option)) continue;
        const uint value = options.value(*option).toUInt(&ok);
        if (!ok || value > 65535) fail(QStringLiteral("bad port for --%1").arg(option->names().first()));
        *port = quint16(value);
    }
    if (options.isSet(sides)) {
        chosen.sides = sidesOf(options.value(sides));
        if (!chosen.sides) fail(QStringLiteral("--sides wants four counts, e.g. 20,12,20,12"));
    }
    return chosen;
}

void printLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The strip: its sources feed one window, and with --print one line per frame on standard output:
//   frame <source> <n> leds <count> sum <fnv32> <colours...> [skipped <bytes>]
//   released wled
int runStrip(const Options& options) {
    QStringList sources;
    std::unique_ptr<BoardLine> line;
    AdalightParser adalight;
    std::vector<std::unique_ptr<StripUdpReceiver>> receivers;
    if (options.adalight) {
        line = std::make_unique<BoardLine>(options.link);
        line->SetBytesPerSecond(options.baud / 10.0);
        line->SetPaced(options.pace);
        printLine(QStringLiteral("varnex-board: adalight on %1 (%2), %3 baud%4")
                      .arg(line->LinkPath(), line->DevicePath())
                      .arg(options.baud)
                      .arg(options.pace ? QStringLiteral(", paced") : QString())
                      .toUtf8());
        sources << QStringLiteral("Adalight on %1, %2 baud%3")
                       .arg(line->LinkPath())
                       .arg(options.baud)
                       .arg(options.pace ? QStringLiteral(" (paced)") : QString());
    }
    for (const auto& [protocol, port] : {std::pair{StripUdpReceiver::Protocol::Wled, options.wledPort},
                                         std::pair{StripUdpReceiver::Protocol::Ddp, options.ddpPort}}) {
        if (!port) continue;
        receivers.push_back(std::make_unique<StripUdpReceiver>(protocol, *port));
        const StripUdpReceiver& receiver = *receivers.back();
        printLine(QStringLiteral("varnex-board: %1 on 127.0.0.1:%2")
                      .arg(receiver.Name())
                      .arg(receiver.Port())
                      .toUtf8());
        sources << QStringLiteral("%1 on 127.0.0.1:%2").arg(receiver.Name().toUpper()).arg(receiver.Port());
    }

    StripWindow window(sources.join(QLatin1Char('\n')), options.sides);
    std::map<QString, qint64> frames;
    auto show = [&](const QString& source, const StripColours& leds, const QByteArray& extra) {
        window.ShowFrame(source, leds);
        const qint64 n = ++frames[source];
        if (options.print)
            printLine("frame " + source.toUtf8() + ' ' + QByteArray::number(n) + ' ' + DescribeFrame(leds) +
                      extra);
    };
    if (line) {
        QObject::connect(line.get(), &BoardLine::Received, &window, [&](const QByteArray& bytes) {
            adalight.Feed(bytes);
            for (const StripColours& leds : adalight.TakeFrames())
                show(QStringLiteral("adalight"), leds,
                     " skipped " + QByteArray::number(adalight.SkippedBytes()));
            window.SetCounters(QStringLiteral("Adalight: bytes %1, frames %2, skipped %3")
                                   .arg(line->BytesRead())
                                   .arg(adalight.Frames())
                                   .arg(adalight.SkippedBytes()));
        });
    }
    for (const auto& receiver : receivers) {
        StripUdpReceiver* source = receiver.get();
        QObject::connect(source, &StripUdpReceiver::Frame, &window,
                         [&show, source](const StripColours& leds) { show(source->Name(), leds, {}); });
        QObject::connect(source, &StripUdpReceiver::Released, &window, [&window, &options] {
            window.ShowReleased();
            if (options.print) printLine("released wled");
        });
    }
    quitOnSignals();
    window.show();
    if (line) line->Start();
    return qApp->exec();
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = readOptions(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varnex-board"));

    try {
        if (options.Strip()) return runStrip(options);
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
