#include "varfile.h"

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
