#include "light/port_list.h"

#include <dirent.h>

#include <QSerialPortInfo>
#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>

namespace {

// True when the directory can be listed; errno tells why not.
bool listable(const char* path) {
    DIR* dir = ::opendir(path);
    if (!dir) return false;
    ::closedir(dir);
    return true;
}

}  // namespace

QStringList PortList(QStringList systemPorts, const QString& extraPorts) {
    std::stable_sort(systemPorts.begin(), systemPorts.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    QStringList list = systemPorts;
    for (const QString& path : extraPorts.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (!list.contains(path)) list.append(path);
    }
    return list;
}

QStringList SystemPortNames() {
    // Qt finds the ports through udev, sysfs or the device folder; with none of them readable there is no
    // list.
    if (!listable("/sys/class/tty") && !listable("/dev")) {
        throw std::runtime_error("Registry error (win error code: " + std::to_string(errno) + ")");
    }
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) names.append(info.portName());
    return names;
}

QStringList ReadPortList() {
    return PortList(SystemPortNames(), qEnvironmentVariable(ExtraPortsVariable));
}
