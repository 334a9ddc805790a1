#include "shellfileops.h"

#include <QDebug>
#include <QDir>

#ifdef Q_OS_WIN

#include <qt_windows.h>
#include <shellapi.h>

namespace {

// The shell reads a list of paths ended by two zeros; the zero-filled buffer holds
// exactly one path when that path leaves room for both.
constexpr int shellBufferLength = 260;

bool copyToShellBuffer(wchar_t* buffer, const QString& path)
{
    const QString native = QDir::toNativeSeparators(path);
    if (native.isEmpty() || native.size() > shellBufferLength - 2) {
        return false;
    }
    lstrcpyW(buffer, reinterpret_cast<const wchar_t*>(native.utf16()));
    return true;
}

bool shellFileOperation(UINT function, const QString& path, const QString& destDir,
                        const char* errorText)
{
    wchar_t source[shellBufferLength] = {};
    wchar_t destination[shellBufferLength] = {};
    // A cut path would name another file; refuse it instead.
    if (!copyToShellBuffer(source, path) ||
        (function == FO_MOVE && !copyToShellBuffer(destination, destDir))) {
        qDebug() << errorText << "path does not fit the shell's buffer" << path << destDir;
        return false;
    }

    SHFILEOPSTRUCTW operation;
    ZeroMemory(&operation, sizeof(operation));
    operation.hwnd = nullptr;
    operation.wFunc = function;
    operation.pFrom = source;
    operation.pTo = destination;
    // No FOF_NOCONFIRMATION: the shell may still ask before it replaces anything.
    operation.fFlags = static_cast<FILEOP_FLAGS>(FOF_ALLOWUNDO | FOF_SILENT);
    operation.fAnyOperationsAborted = FALSE;
    operation.hNameMappings = nullptr;
    operation.lpszProgressTitle = nullptr;

    const int result = SHFileOperationW(&operation);
    const DWORD lastError = GetLastError();
    qDebug() << "SHFileOperation end" << result << operation.fAnyOperationsAborted << lastError;
    if (result == 0 && !operation.fAnyOperationsAborted) {
        return true;
    }
    qDebug() << errorText << result;
    return false;
}

} // namespace

bool deleteFileToTrash(const QString& path)
{
    return shellFileOperation(FO_DELETE, path, QString(), "deleteFileToTrash error:");
}

bool moveFileTo(const QString& path, const QString& destDir, const CopyProgress& progress)
{
    Q_UNUSED(progress)
    return shellFileOperation(FO_MOVE, path, destDir, "moveFileToTrash error:");
}

#else

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 copyChunk = 1 << 20;

// A dangling link is an entry too: it must neither be replaced nor overlooked.
bool entryExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Renames `from` to `to` unless `to` exists; on failure errno tells why.
bool renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
#if defined(Q_OS_LINUX) && defined(RENAME_NOREPLACE)
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return true;
    }
    // Only a file system that cannot refuse by itself goes on to the check below.
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    if (entryExists(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(source.constData(), target.constData()) == 0;
}

QByteArray sha256Of(QFile& file)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.seek(0) && hash.addData(&file) ? hash.result() : QByteArray();
}

// Copies the plain file `source` to a hidden temporary file beside `target`, checks
// the copy byte for byte against the source, then renames it to `target` without
// replacing anything. The source is not touched, and a failed or cancelled copy
// leaves nothing behind.
bool copyVerified(const QString& source, const QString& target, const CopyProgress& progress)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QFileInfo targetInfo(target);
    QTemporaryFile out(targetInfo.absolutePath() + QStringLiteral("/.") + targetInfo.fileName() +
                       QStringLiteral(".XXXXXX"));
    if (!out.open()) {
        return false;
    }
    QCryptographicHash read(QCryptographicHash::Sha256);
    const qint64 total = in.size();
    qint64 copied = 0;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(copyChunk);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            return false;
        }
        read.addData(chunk);
        copied += chunk.size();
        if (progress && !progress(copied, total)) {
            return false;
        }
    }
    // Nothing of the source may go before its copy is safely on disk.
    if (!out.flush() || ::fsync(out.handle()) != 0 || out.size() != total ||
        sha256Of(out) != read.result()) {
        return false;
    }
    out.setPermissions(in.permissions());
    out.setFileTime(QFileInfo(source).lastModified(), QFileDevice::FileModificationTime);
    out.close();
    if (!renameNoReplace(out.fileName(), target)) {
        return false;
    }
    out.setAutoRemove(false);
    return true;
}

bool moveAcrossFileSystems(const QString& source, const QString& target,
                           const CopyProgress& progress)
{
    const QFileInfo info(source);
    if (!info.isFile() || info.isSymLink()) {
        qDebug() << "moveFileTo error: only plain files are copied across file systems" << source;
        return false;
    }
    if (!copyVerified(source, target, progress)) {
        qDebug() << "moveFileTo error: copy failed" << source << target;
        return false;
    }
    if (QFile::remove(source)) {
        return true;
    }
    // Go back to the one complete file at its old place, so that the failure changes nothing.
    QFile::remove(target);
    qDebug() << "moveFileTo error: cannot remove" << source;
    return false;
}

#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
// Qt put the file into "files" below the working directory: bring it back.
void undoStrayTrash(const QString& trashed, const QString& original)
{
    const QFileInfo stray(trashed);
    if (!renameNoReplace(stray.absoluteFilePath(), original)) {
        qDebug() << "deleteFileToTrash error: left at" << stray.absoluteFilePath();
        return;
    }
    const QDir trashDir(QFileInfo(stray.absolutePath()).absolutePath());
    QFile::remove(trashDir.filePath(QStringLiteral("info/") + stray.fileName() +
                                    QStringLiteral(".trashinfo")));
    // The folders Qt made for its stray trash go too; rmdir leaves any that hold something.
    trashDir.rmdir(QStringLiteral("files"));
    trashDir.rmdir(QStringLiteral("info"));
}
#endif

} // namespace

bool deleteFileToTrash(const QString& path)
{
    if (!entryExists(path)) {
        qDebug() << "deleteFileToTrash error: no such file" << path;
        return false;
    }
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    // Without the user's data directory Qt 5.15 "trashes" into the working directory.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty()) {
        QDir().mkpath(dataHome);
    }
    QString trashed;
    if (!QFile::moveToTrash(path, &trashed)) {
        qDebug() << "deleteFileToTrash error:" << path;
        return false;
    }
    if (QDir::isAbsolutePath(trashed)) {
        return true;
    }
    undoStrayTrash(trashed, path);
    qDebug() << "deleteFileToTrash error: no trash directory for" << path;
    return false;
#else
    qDebug() << "deleteFileToTrash error: no trash support in this Qt" << path;
    return false;
#endif
}

bool moveFileTo(const QString& path, const QString& destDir, const CopyProgress& progress)
{
    if (!entryExists(path) || !QFileInfo(destDir).isDir()) {
        qDebug() << "moveFileTo error: missing" << path << destDir;
        return false;
    }
    const QString source = QFileInfo(path).absoluteFilePath();
    const QString target = QDir(destDir).absoluteFilePath(QFileInfo(path).fileName());
    if (renameNoReplace(source, target)) {
        return true;
    }
    const int error = errno;
    if (error == EXDEV) {
        return moveAcrossFileSystems(source, target, progress);
    }
    qDebug() << "moveFileTo error:" << path << destDir << qt_error_string(error);
    return false;
}

#endif
