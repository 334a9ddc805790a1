#include "libraryindex.h"

#include "folderwalk.h"
#include "libraryscan.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>

#include <future>

LibraryIndex::LibraryIndex(QObject* parent, const QString& databasePath)
    : QObject(parent),
      database(databasePath.isEmpty()
                   ? QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/library.sqlite")
                   : databasePath),
      snapshot(LibraryCatalog::shared({}))
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

QString LibraryIndex::gameFolderOf(const QString& folder)
{
    const QFileInfo info(folder);
    return info.fileName().compare(QLatin1String("AddonPackages"), Qt::CaseInsensitive) == 0
               ? normalFolder(info.path())
               : QString();
}

void LibraryIndex::setContentReading(bool read, bool local, const QString& gameFolder)
{
    contentReading = read;
    localContent = local;
    this->gameFolder = gameFolder.isEmpty() ? QString() : normalFolder(gameFolder);
}

void LibraryIndex::refresh(const QString& folder, std::shared_ptr<const LibraryCatalog> listed)
{
    stop();
    const QString normal = normalFolder(folder);
    // A listing is newer than any move or delete made before it.
    const std::shared_ptr<const LibraryCatalog> before = catalog();
    pending = {};
    touched.clear();
    if (normal != current) {
        current = normal;
        readyFlag = false;
        snapshot = LibraryCatalog::shared({});
    } else {
        snapshot = before;
    }
    // Once a refresh of this folder has completed, its catalog is what the database
    // holds of the folder.
    const std::shared_ptr<const LibraryCatalog> base = readyFlag ? snapshot : nullptr;
    if (listed) {
        snapshot = listed;
        emit ready();
    }
    start(QStringList(), true, base, std::move(listed));
}

void LibraryIndex::update(const QStringList& paths)
{
    if (current.isEmpty() || paths.isEmpty()) {
        return;
    }
    QStringList cleaned;
    for (const QString& path : paths) {
        cleaned << QDir::cleanPath(path);
    }
    touched += cleaned;
    rebuild(catalog(), cleaned);
}

std::shared_ptr<const LibraryCatalog> LibraryIndex::catalog() const
{
    // A move or delete is in every answer from the moment it is made.
    return pending.valid() ? pending.get() : snapshot;
}

void LibraryIndex::rebuild(std::shared_ptr<const LibraryCatalog> from, const QStringList& paths)
{
    const quint64 serial = ++rebuildSerial;
    auto promise = std::make_shared<std::promise<std::shared_ptr<const LibraryCatalog>>>();
    pending = promise->get_future().share();
    const QPointer<LibraryIndex> self(this);
    const QString folder = current;
    // The user waits for this one: it runs at the priority of the program.
    QThread* thread = QThread::create([self, serial, promise, from, paths, folder] {
        promise->set_value(changed(*from, paths, folder));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, serial] {
                if (self) {
                    self->settle(serial);
                }
            },
            Qt::QueuedConnection);
    });
    thread->setParent(this);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void LibraryIndex::settle(quint64 serial)
{
    if (serial != rebuildSerial || !pending.valid()) {
        return;
    }
    snapshot = pending.get();
    pending = {};
    if (!isRunning() && !touched.isEmpty()) {
        // What the moves brought in is read, what they took is forgotten.
        start(touched, !readyFlag, readyFlag ? snapshot : nullptr);
        touched.clear();
    }
    emit ready();
}

std::shared_ptr<const LibraryCatalog> LibraryIndex::changed(const LibraryCatalog& catalog,
                                                            const QStringList& paths, const QString& folder)
{
    const QSet<QString> affected(paths.begin(), paths.end());
    QVector<IndexedPackage> packages;
    packages.reserve(catalog.packages().size());
    QHash<QString, const IndexedPackage*> before;
    for (const IndexedPackage& package : catalog.packages()) {
        if (affected.contains(package.path)) {
            before.insert(package.path, &package);
        } else {
            packages.append(package);
        }
    }
    const QString prefix = FolderWalk::childPath(folder, QString());
    for (const QString& path : affected) {
        IndexedPackage package = FolderWalk::package(path);
        if (!path.startsWith(prefix) || package.path.isEmpty()) {
            continue;
        }
        // A file that an action left as it was keeps what was read of it.
        const IndexedPackage* old = before.value(path);
        if (old != nullptr && old->size == package.size && old->modified == package.modified) {
            package.takeDescription(*old);
        }
        packages.append(package);
    }
    return LibraryCatalog::shared(std::move(packages), catalog.local());
}

void LibraryIndex::stop()
{
    if (jobStop) {
        *jobStop = true;
        jobStop.reset();
    }
}

void LibraryIndex::start(const QStringList& paths, bool whole, std::shared_ptr<const LibraryCatalog> base,
                         std::shared_ptr<const LibraryCatalog> listed)
{
    jobStop = std::make_shared<std::atomic<bool>>(false);
    const quint64 serial = ++jobSerial;
    const std::shared_ptr<std::atomic<bool>> stopFlag = jobStop;
    LibraryScan::Content content;
    content.read = contentReading;
    if (contentReading && localContent) {
        content.gameFolder = gameFolder.isEmpty() ? gameFolderOf(current) : gameFolder;
    }
    LibraryScan scan(current, database, paths, std::move(base), whole, std::move(listed), content);
    // The thread never touches the index itself: one that outlives its index (see the
    // destructor) posts to the application, and the index is looked for there.
    const QPointer<LibraryIndex> self(this);
    QThread* thread = QThread::create([self, serial, stopFlag, scan]() mutable {
        // What the thread sends is looked at on the GUI thread, by way of the application.
        const auto post = [self, stopFlag](std::function<void(LibraryIndex*)> call) {
            if (!*stopFlag) {
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, call] {
                        if (self) {
                            call(self);
                        }
                    },
                    Qt::QueuedConnection);
            }
        };
        const auto result = scan.run(
            *stopFlag,
            [post](int done, int total, bool content) {
                post([done, total, content](LibraryIndex* index) { emit index->progress(done, total, content); });
            },
            [post, serial](std::shared_ptr<const LibraryCatalog> declared) {
                post([serial, declared](LibraryIndex* index) { index->publish(serial, declared); });
            });
        if (result) {
            post([serial, result](LibraryIndex* index) { index->finish(serial, result); });
        }
    });
    // Owned by the index, so that its destructor finds every thread still running.
    thread->setParent(this);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(threadPriority);
}

void LibraryIndex::publish(quint64 serial, std::shared_ptr<const LibraryCatalog> declared)
{
    if (serial != jobSerial || !jobStop) {
        return;
    }
    adopt(std::move(declared));
}

void LibraryIndex::finish(quint64 serial, std::shared_ptr<const LibraryCatalog> result)
{
    // A stopped job's result can still be on its way.
    if (serial != jobSerial || !jobStop) {
        return;
    }
    jobStop.reset();
    adopt(std::move(result));
}

void LibraryIndex::adopt(std::shared_ptr<const LibraryCatalog> result)
{
    readyFlag = true;
    if (touched.isEmpty()) {
        snapshot = std::move(result);
        emit ready();
    } else {
        // Moves and deletes made while the job worked stay made.
        rebuild(std::move(result), touched);
    }
}
