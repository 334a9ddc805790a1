#ifndef TESTFILES_H
#define TESTFILES_H

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
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

/// Writes a shell script that its owner may run (a stand-in for an outside program).
inline bool writeScript(const QString& path, const QByteArray& commands)
{
    return write(path, "#!/bin/sh\n" + commands + "\n") &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

/// Sets an environment variable until the returned guard goes (an empty value
/// counts as unset for the variables the program reads).
inline auto scopedEnvironment(const char* name, const QString& value)
{
    const QByteArray previous = qgetenv(name);
    qputenv(name, QFile::encodeName(value));
    return qScopeGuard([name, previous] { qputenv(name, previous); });
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
