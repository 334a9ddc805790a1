#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <QFile>
#include <QString>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

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

// Processor time used so far by this process and the child processes it has waited
// for, in milliseconds (0 where not known): a figure that a busy machine bends less
// than the time on the clock.
inline qint64 cpuMillis()
{
#ifdef Q_OS_UNIX
    qint64 total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
                 (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    }
    return total;
#else
    return 0;
#endif
}

#endif // BENCHSUPPORT_H
