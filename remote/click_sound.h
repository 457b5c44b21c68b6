#pragma once

// The remote's click sound: a wave file played asynchronously, a new click cutting the one before short.
// Where the file is missing or cannot be played, the display's bell sounds instead.

#include <QObject>
#include <QString>

struct _GstElement;

class ClickSound final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClickSound)

public:
    explicit ClickSound(QObject* parent = nullptr);
    ~ClickSound() override;

    // Starts `path` and returns at once.
    void Play(const QString& path);

signals:
    // A click began: from the file, or the bell in its place.
    void Started(bool fromFile);

private:
    _GstElement* pipeline_ = nullptr;
};
