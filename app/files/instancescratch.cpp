#include "instancescratch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace {

// Lock files are hidden, so that a listing of the instance folders passes them by.
QString lockPath(const QString& entry)
{
    const QFileInfo info(entry);
    return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".lock");
}

void removeEntry(const QFileInfo& entry)
{
    // A link is removed, never followed: what it points at is not ours.
    if (entry.isDir() && !entry.isSymLink()) {
        QDir(entry.filePath()).removeRecursively();
    } else {
        QFile::remove(entry.filePath());
    }
}

} // namespace

InstanceScratch::InstanceScratch(const QString& root)
    : folder(root + QStringLiteral("/instance-") +
             QUuid::createUuid().toString(QUuid::WithoutBraces)),
      lock(lockPath(folder))
{
    QDir().mkpath(root);
    // Held for the instance's whole life, however long: only a dead owner makes it stale.
    lock.setStaleLockTime(0);
    lock.tryLock(0);
    const QFileInfoList entries =
        QDir(root).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo& entry : entries) {
        QLockFile owner(lockPath(entry.filePath()));
        owner.setStaleLockTime(0);
        // Taken only where no running instance holds it; releasing it removes the lock file.
        if (owner.tryLock(0)) {
            removeEntry(entry);
        }
    }
    QDir().mkpath(folder);
}

InstanceScratch::~InstanceScratch()
{
    QDir(folder).removeRecursively();
}

QString InstanceScratch::path() const
{
    return folder;
}

void InstanceScratch::clear() const
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
    for (const QFileInfo& entry : entries) {
        removeEntry(entry);
    }
}
