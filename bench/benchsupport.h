#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <QFile>
#include <QString>

// Highest resident memory of this process so far, in MiB (Linux; 0 elsewhere).
inline qint64 peakRssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() / 1024;
        }
    }
    return 0;
}

#endif // BENCHSUPPORT_H
