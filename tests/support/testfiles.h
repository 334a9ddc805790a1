#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

/// Small file helpers shared by the tests.
namespace TestFiles {

/// Writes `content` to `path`, creating its folders; replaces what was there.
inline bool write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

/// The file's content, or "<unreadable>" when it cannot be read (so that a missing
/// file is never taken for an empty one).
inline QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// Every entry below `folder` (links not followed), relative to it and sorted.
inline QStringList tree(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        entries << QDir(folder).relativeFilePath(it.next());
    }
    entries.sort();
    return entries;
}

} // namespace TestFiles

#endif // TESTFILES_H
