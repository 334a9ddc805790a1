#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <ctime>
#endif

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

/// Runs the benchmark headless unless a platform is asked for, with its settings and
/// caches in a home of its own, empty at the start. Made before the application.
class BenchHome
{
public:
    BenchHome()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        qputenv("HOME", QFile::encodeName(home.path()));
        QStandardPaths::setTestModeEnabled(true);
    }

private:
    QTemporaryDir home;
};

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

// CPU time this thread has used, in ms (Linux; 0 elsewhere).
inline double threadCpuMs()
{
#ifdef Q_OS_LINUX
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
#else
    return 0;
#endif
}

// The longest the GUI thread went without running its timers since the last reset: a
// timer that should fire every 5 ms notices every stall. On a busy machine a stall
// can be the system running other work; the CPU time the thread used within the
// longest stall tells its own part.
class GuiBlockMeter
{
public:
    GuiBlockMeter()
    {
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            const qint64 gap = sinceTick.restart();
            const double cpu = threadCpuMs();
            if (gap > longest) {
                longest = gap;
                longestCpu = cpu - cpuAtTick;
            }
            cpuAtTick = cpu;
        });
        reset();
        ticker.start();
    }
    void reset()
    {
        longest = 0;
        longestCpu = 0;
        cpuAtTick = threadCpuMs();
        sinceTick.start();
    }
    qint64 longestMillis() const { return longest; }
    /// "171 ms (12 ms running)"
    QByteArray longestText() const
    {
        return QByteArray::number(longest) + " ms (" + QByteArray::number(longestCpu, 'f', 0) +
               " ms running)";
    }

private:
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    double longestCpu = 0;
    double cpuAtTick = 0;
};

#endif // BENCHSUPPORT_H
