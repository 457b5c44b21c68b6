#pragma once

// The remote's click sound: a wave file played asynchronously, a new click cutting the one before short.
// Where the file is missing or cannot be played, the desktop's bell sounds instead.

#include <QObject>
#include <QString>
#include <functional>

struct _GstElement;

class ClickSound final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ClickSound)

public:
    // `bell` sounds the desktop's bell.
    explicit ClickSound(std::function<void()> bell, QObject* parent = nullptr);
    ~ClickSound() override;

    // Starts `path` and returns at once.
    void Play(const QString& path);

signals:
    // A click began: from the file, or the bell in its place.
    void Started(bool fromFile);

private:
    std::function<void()> bell_;
    _GstElement* pipeline_ = nullptr;
};
