#include "localcontentreader.h"

#include "referencescanner.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace LocalContentReader {

namespace {

// What stays the same for a folder however links lead to it; empty when the folder
// cannot be looked at.
QByteArray folderIdentity(const QString& path)
{
#ifdef Q_OS_WIN
    return QFileInfo(path).canonicalFilePath().toUtf8();
#else
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return QByteArray();
    }
    return QByteArray::number(quint64(status.st_dev)) + ':' + QByteArray::number(quint64(status.st_ino));
#endif
}

void walk(const QString& folder, const QString& relative, QSet<QByteArray>& seen,
          QVector<LocalReferrer>& found, const std::atomic<bool>& stop)
{
    const QByteArray identity = folderIdentity(folder);
    if (identity.isEmpty() || seen.contains(identity)) {
        return;
    }
    seen.insert(identity);
    // Without QDir::System, pipes and devices are left out: reading one could block.
    QDirIterator entries(folder, QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot);
    while (entries.hasNext() && !stop) {
        entries.next();
        const QFileInfo entry = entries.fileInfo();
        const QString path = relative + QLatin1Char('/') + entry.fileName();
        if (entry.isDir()) {
            walk(entry.filePath(), path, seen, found, stop);
        } else if (ReferenceScanner::wanted(entry.fileName())) {
            found.append({path, entry.size(), entry.lastModified().toMSecsSinceEpoch(), {}});
        }
    }
}

} // namespace

QVector<LocalReferrer> find(const QString& gameFolder, const std::atomic<bool>& stop)
{
    QVector<LocalReferrer> found;
    QSet<QByteArray> seen;
    const QStringList tops = QDir(gameFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& top : tops) {
        if (top.compare(QLatin1String("Saves"), Qt::CaseInsensitive) == 0 ||
            top.compare(QLatin1String("Custom"), Qt::CaseInsensitive) == 0) {
            walk(gameFolder + QLatin1Char('/') + top, top, seen, found, stop);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const LocalReferrer& a, const LocalReferrer& b) { return a.path < b.path; });
    return found;
}

Outcome read(const QString& gameFolder, LocalReferrer& file)
{
    file.references.clear();
    ReferenceScanner::Kind kind = ReferenceScanner::Json;
    ReferenceScanner::wanted(file.path, &kind);
    QFile input(gameFolder + QLatin1Char('/') + file.path);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return Outcome::Unreadable;
    }
    if (input.size() > maxFileBytes) {
        return Outcome::Skipped;
    }
    ReferenceScanner scanner(kind);
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 got = input.read(buffer.data(), buffer.size());
        if (got < 0) {
            return Outcome::Unreadable;
        }
        if (got == 0) {
            break;
        }
        // A file that grows while it is read is bounded all the same.
        total += got;
        if (total > maxFileBytes) {
            return Outcome::Skipped;
        }
        scanner.feed(buffer.constData(), got);
    }
    file.references = scanner.references();
    return scanner.overflowed() ? Outcome::Skipped : Outcome::Read;
}

LocalContent readAll(const QString& gameFolder, const std::atomic<bool>& stop)
{
    LocalContent content;
    content.gameFolder = gameFolder;
    for (LocalReferrer& file : find(gameFolder, stop)) {
        if (stop) {
            break;
        }
        const Outcome outcome = read(gameFolder, file);
        content.skipped += outcome == Outcome::Skipped;
        content.unreadable += outcome == Outcome::Unreadable;
        // References cut short still protect what they name.
        if (!file.references.isEmpty() || outcome == Outcome::Read) {
            content.referrers.append(file);
        }
    }
    return content;
}

} // namespace LocalContentReader
