#include "varfile.h"

#include "shellfileops.h"

varFile::varFile(const QFileInfo& info)
    : fullPath(info.filePath()), fileSize(info.size()), fileName(info.fileName()),
      suffix(info.suffix()), modified(info.lastModified())
{
}

QString varFile::getTimeString() const
{
    return modified.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

int varFile::compareName(const varFile& other) const
{
    return fileName.compare(other.fileName, Qt::CaseInsensitive);
}

bool varFile::isSameFile(const varFile& other) const
{
    return compareName(other) == 0 && fileSize == other.fileSize;
}

bool varFile::nameStartsWith(const QString& text) const
{
    return fileName.startsWith(text, Qt::CaseInsensitive);
}

bool varFile::moveOrDelete(int mode, const QString& destPath) const
{
    if (mode != 0 && mode != 1) {
        return false;
    }
    const auto act = [mode, &destPath](const QString& path) {
        return mode == 0 ? deleteFileToTrash(path) : moveFileTo(path, destPath);
    };
    const QString companion = fullPath + QStringLiteral(".depend.txt");
    if (QFileInfo::exists(companion)) {
        act(companion);
    }
    return act(fullPath);
}
