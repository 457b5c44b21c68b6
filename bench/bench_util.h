#pragma once

// Small helpers the benchmarks share: the median and quantiles of some figures and a process's resident
// memory.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <algorithm>
#include <vector>

// The median (the mean of the middle two for an even count); -1 for no figures.
inline double median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The value below which the fraction `q` (0 to 1) of the figures lie, to the nearest rank; -1 for no figures.
inline double quantile(std::vector<double> values, double q) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const double rank = q * double(values.size() - 1) + 0.5;
    return values[std::min(values.size() - 1, size_t(rank))];
}

// The resident memory of process `pid` in MB, from /proc; -1 when it cannot be read.
inline double residentMegabytes(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Lets the program's modules be found in the build folder, where this benchmark does not sit (unless
// VARNEX_MODULE_DIR names another folder).
inline void FindModulesInBuildFolder() {
    if (qEnvironmentVariableIsEmpty("VARNEX_MODULE_DIR")) qputenv("VARNEX_MODULE_DIR", VARNEX_MODULE_FOLDER);
}
