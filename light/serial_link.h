#pragma once

// The serial port that carries light commands to the board: 9600 baud, 8N1, no flow control, DTR and RTS held
// off, queues of 1024 bytes. Opened and closed through Connected; every write goes through WriteText and is
// synchronous. The link never reads: anything the device sends is thrown away.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>

class SerialLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SerialLink)

public:
    static constexpr qint32 BaudRate = 9600;
    static constexpr qint64 QueueSize = 1024;
    // A write gives up after this many milliseconds, plus PerByteTimeout for each byte.
    static constexpr int WriteTimeout = 1000;
    static constexpr int PerByteTimeout = 100;

    explicit SerialLink(QObject* parent = nullptr);
    ~SerialLink() override;

    // The port's name as listed in the settings window ("ttyUSB0", or a full path such as "/dev/pts/3").
    QString Port = QStringLiteral("COM1");

    bool Connected() const { return port_.isOpen(); }
    // Opens or closes the port named by Port; setting the state it already has does nothing. An open that
    // fails raises "Unable to open com port (win error code: N)", or the text of the settings step that
    // failed
    // ("SetupComm function failed", "SetCommState function failed", "SetCommTimeouts failed", each with the
    // code), and leaves the port closed.
    void SetConnected(bool connected);

    // Writes every byte of `text`, nothing appended, and returns once the bytes have left the port. Raises
    // "WriteFile function failed (win error code: N)" when the write is refused, fails or times out (an empty
    // text writes nothing, but a closed port refuses it too); the port stays open unless the device itself
    // is gone.
    void WriteText(const QByteArray& text);

    // True when the named port can be opened exclusively right now. A port this program holds answers false.
    static bool PortAvailable(const QString& name);

signals:
    // The device went away while open (an adapter unplugged, the far end of a pseudo-terminal closed) and the
    // port has been closed. Emitted from the event loop, once per loss. `errorText` is the error to show, or
    // empty when WriteText ran into the loss and has raised that error itself.
    void DeviceLost(const QString& errorText);

private:
    void open();
    void applySettings();
    void close();
    void onError(QSerialPort::SerialPortError error);
    void writeQueued(const QByteArray& text, const QDeadlineTimer& deadline);
    bool deviceGone() const;
    void noteLoss(const QString& errorText);
    void finishLoss();
    [[noreturn]] void failWrite(int code);

    bool lossPending_ = false;
    QString lossText_;
    QSerialPort port_;  // destroyed first: closing it may still report to the members above
};
