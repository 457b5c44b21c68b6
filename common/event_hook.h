#pragma once

// Watching another object's events without subclassing it.

#include <QEvent>
#include <QObject>
#include <functional>
#include <utility>

// Runs `filter` on the events of `watched`, whose child it becomes; `filter` returns true to swallow an
// event.
class EventHook final : public QObject {
public:
    EventHook(QObject* watched, std::function<bool(QEvent*)> filter)
        : QObject(watched), filter_(std::move(filter)) {
        watched->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override { return filter_(event); }

private:
    std::function<bool(QEvent*)> filter_;
};
