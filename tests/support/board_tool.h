#pragma once

// The virtual board tool (varnex-board, VARNEX_BOARD_EXECUTABLE) run as a child process with --print, for
// tests: started with the given arguments, stopped when this goes away.

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

class BoardTool {
public:
    explicit BoardTool(const QStringList& arguments) {
        process_.setProgram(QStringLiteral(VARNEX_BOARD_EXECUTABLE));
        process_.setArguments(arguments + QStringList{QStringLiteral("--print")});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
    }
    ~BoardTool() { Stop(); }

    void Stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
        process_.waitForFinished(3000);
    }

    // Waits up to `ms` for an output line starting with `prefix` and answers it (empty when none came).
    QString WaitForLine(const QString& prefix, int ms = 5000) {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                if (line.startsWith(prefix)) return line;
            }
            process_.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 100)));
        }
        return QString();
    }

    // The port a receiver announced in "varnex-board: <name> on 127.0.0.1:<port>".
    quint16 PortOf(const QString& name) {
        const QString line = WaitForLine(QStringLiteral("varnex-board: %1 on 127.0.0.1:").arg(name));
        return quint16(line.section(QLatin1Char(':'), -1).toUInt());
    }

private:
    QProcess process_;
};
