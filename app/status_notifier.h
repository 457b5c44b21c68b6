#pragma once

// Which kind of notification area took the tray icon. Qt hands its icon to a StatusNotifierItem host over
// D-Bus (KDE Plasma, GNOME with the AppIndicator extension) when the session's watcher says that a host is
// registered, and otherwise docks it in an XEmbed notification area. A StatusNotifierItem host reports any
// click as a plain activation, never as a double click; an XEmbed area tells the two apart.

#include <QObject>

// Follows the session's StatusNotifierWatcher for this process's item: asks once what it holds and then
// listens for the item to be registered. Make it before the tray icon is shown.
class StatusNotifierCheck final : public QObject {
    Q_OBJECT

public:
    explicit StatusNotifierCheck(QObject* parent);
    // Whether this process's tray icon went to a StatusNotifierItem host.
    bool ItemRegistered() const { return registered_; }

private slots:
    void itemRegistered(const QString& item);

private:
    bool registered_ = false;
};
