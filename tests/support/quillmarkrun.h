#ifndef QUILLMARKRUN_H
#define QUILLMARKRUN_H

#include "testfiles.h"

#include <QProcess>
#include <QStringList>

/// What a run of the real program gave: its exit status (-1 when it hung or crashed)
/// and what it printed.
struct Run
{
    int exit;
    QByteArray out, err;
};

/// Runs the program built for the test, as a user's shell would, with `cache` as its
/// cache folder. The test program defines QUILLMARK_BINARY.
inline Run quillmark(const QStringList& arguments, const QString& cache)
{
    const auto cacheHome = TestFiles::scopedEnvironment("XDG_CACHE_HOME", cache);
    QProcess process;
    process.start(QStringLiteral(QUILLMARK_BINARY), arguments);
    // A run that hangs or crashes has no exit status; the process is killed on return.
    const bool ended = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
}

#endif // QUILLMARKRUN_H
