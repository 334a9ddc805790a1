#include "libraryindex.h"

#include "libraryscan.h"

#include <QCoreApplication>
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

LibraryIndex::~LibraryIndex()
{
    stop();
    // A stopped job ends within 100 ms; one that does not is left to end on its own
    // rather than be destroyed while it runs.
    for (QThread* thread : findChildren<QThread*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!thread->wait(5000)) {
            thread->setParent(nullptr);
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
