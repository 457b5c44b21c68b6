#pragma once

// The two boxes the program shows: the message box for expected conditions and the error box for errors
// raised by handlers. Both carry the caption "Varnex". Tests switch them to recording; the environment
// variable VARNEX_MESSAGES=stderr prints them to standard error instead of showing them (for scripted runs).

#include <QList>
#include <QString>

namespace messages {

enum class Kind { Message, Error };

struct Shown {
    Kind kind;
    QString text;
    bool operator==(const Shown&) const = default;
};

// Modal message box without an icon: "Плейлист пуст!", "Данный порт недоступен!" ...
void ShowMessage(const QString& text);
// The same message box, but not modal: the program goes on while it shows. One such box at a time; a later
// text replaces the one on screen.
void ShowNotice(const QString& text);
// Modal box with the error icon, for the text of an error raised inside a handler.
void ShowError(const QString& text);

// While a Recorder lives, boxes are recorded instead of shown.
class Recorder {
public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    const QList<Shown>& shown() const;
    QStringList texts() const;
    void clear();
};

}  // namespace messages
