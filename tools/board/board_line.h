#pragma once

// The virtual board's end of the line: a pseudo-terminal whose other side the program opens as its serial
// port, reachable under a stable path (a symbolic link to the pseudo-terminal's device). What arrives is
// parsed as the board parses it. Reading can be paced to 960 bytes a second, the speed of a 9600-baud 8N1
// line, so that a writer that keeps sending is held back as a real line would hold it back; a strip's faster
// line sets its own rate.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "light/board_parser.h"

class QSocketNotifier;
class QTimer;

class BoardLine final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoardLine)

public:
    static constexpr int LineBytesPerSecond = 960;

    // $XDG_RUNTIME_DIR/varnex-board when that folder exists, otherwise /tmp/varnex-board-<user>.
    static QString DefaultLinkPath();

    // Opens the pseudo-terminal and points `linkPath` at it (an existing symbolic link there is replaced; any
    // other file there is an error). Throws std::runtime_error when that cannot be done.
    explicit BoardLine(const QString& linkPath, QObject* parent = nullptr);
    // Removes the link if it still points here.
    ~BoardLine() override;

    QString LinkPath() const { return linkPath_; }
    QString DevicePath() const { return devicePath_; }

    // Starts reading; call from the thread the object lives in.
    void Start();
    void SetPaced(bool paced);
    bool Paced() const { return paced_; }
    // The paced line's speed, LineBytesPerSecond unless set: a baud rate over 10 bits a byte (8N1).
    void SetBytesPerSecond(double bytesPerSecond) { bytesPerSecond_ = bytesPerSecond; }
    double BytesPerSecond() const { return bytesPerSecond_; }

    const BoardParser& Parser() const { return parser_; }
    qint64 BytesRead() const { return bytesRead_; }

signals:
    // Bytes arrived and were parsed.
    void Received(const QByteArray& bytes);

private:
    void readAvailable(qint64 limit);
    void paceTick();

    QString linkPath_;
    QString devicePath_;
    int master_ = -1;
    int slave_ = -1;  // held open so that the line stays up while the program closes and reopens its side
    bool paced_ = false;
    double bytesPerSecond_ = LineBytesPerSecond;
    double credit_ = 0;  // bytes the paced line may deliver now
    QElapsedTimer clock_;
    qint64 lastTick_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* pacer_ = nullptr;
    BoardParser parser_;
    qint64 bytesRead_ = 0;
};
