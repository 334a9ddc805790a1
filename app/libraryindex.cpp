#include "libraryindex.h"

#include "libraryscan.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>

LibraryIndex::LibraryIndex(QObject* parent, const QString& databasePath)
    : QObject(parent),
      database(databasePath.isEmpty()
                   ? QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/library.sqlite")
                   : databasePath),
      snapshot(std::make_shared<const LibraryCatalog>())
{
}

namespace {

// Threads that outlived their index. Each touches nothing but its own copies and the
// application, and the application waits for them as it ends, before anything they
// use is destroyed. Only the GUI thread reads or changes the list.
QList<QPointer<QThread>>& orphans()
{
    static QList<QPointer<QThread>> threads;
    return threads;
}

void waitForOrphans()
{
    for (const QPointer<QThread>& thread : qAsConst(orphans())) {
        if (thread) {
            thread->wait();
        }
    }
    orphans().clear();
}

} // namespace

LibraryIndex::~LibraryIndex()
{
    stop();
    // A stopped job mostly ends within 100 ms; one that waits on a busy database or a
    // slow disk is not waited for here, so that closing the window never hangs.
    QDeadlineTimer deadline(200);
    for (QThread* thread : findChildren<QThread*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!thread->wait(ulong(qMax<qint64>(0, deadline.remainingTime())))) {
            thread->setParent(nullptr);
            if (orphans().isEmpty()) {
                qAddPostRoutine(waitForOrphans);
            }
            orphans().append(thread);
        }
    }
}

QString LibraryIndex::normalFolder(const QString& folder)
{
    return QDir::cleanPath(QDir(folder).absolutePath());
}

void LibraryIndex::refresh(const QString& folder)
{
    stop();
    const QString normal = normalFolder(folder);
    if (normal != current) {
        current = normal;
        readyFlag = false;
        pending.clear();
        snapshot = std::make_shared<const LibraryCatalog>();
    }
    start(pending.values(), true);
}

void LibraryIndex::update(const QStringList& paths)
{
    if (current.isEmpty()) {
        return;
    }
    for (const QString& path : paths) {
        pending.insert(QDir::cleanPath(path));
    }
    // Without a finished refresh there is nothing to update: the whole folder is read.
    const bool whole = !readyFlag || (isRunning() && jobIsWhole);
    stop();
    start(pending.values(), whole);
}

void LibraryIndex::stop()
{
    if (jobStop) {
        *jobStop = true;
        jobStop.reset();
    }
}

void LibraryIndex::start(const QStringList& paths, bool whole)
{
    jobStop = std::make_shared<std::atomic<bool>>(false);
    jobIsWhole = whole;
    const quint64 serial = ++jobSerial;
    const std::shared_ptr<std::atomic<bool>> stopFlag = jobStop;
    // Once a refresh of this folder has completed, its catalog is what the database
    // holds of the folder.
    LibraryScan scan(current, database, paths, readyFlag ? snapshot : nullptr, whole);
    // The thread never touches the index itself: one that outlives its index (see the
    // destructor) posts to the application, and the index is looked for there.
    const QPointer<LibraryIndex> self(this);
    QThread* thread = QThread::create([self, serial, stopFlag, scan]() mutable {
        const auto result = scan.run(*stopFlag, [self, stopFlag](int done, int total) {
            if (!*stopFlag) {
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, done, total] {
                        if (self) {
                            emit self->progress(done, total);
                        }
                    },
                    Qt::QueuedConnection);
            }
        });
        if (result && !*stopFlag) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, serial, result] {
                    if (self) {
                        self->finish(serial, result);
                    }
                },
                Qt::QueuedConnection);
        }
    });
    // Owned by the index, so that its destructor finds every thread still running.
    thread->setParent(this);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void LibraryIndex::finish(quint64 serial, std::shared_ptr<const LibraryCatalog> result)
{
    // A stopped job's result can still be on its way.
    if (serial != jobSerial || !jobStop) {
        return;
    }
    jobStop.reset();
    snapshot = std::move(result);
    readyFlag = true;
    pending.clear();
    emit ready();
}
