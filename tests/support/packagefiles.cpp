#include "packagefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool PackageFiles::create(const QString& path, qint64 size, const QDateTime& modified)
{
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size)) {
        return false;
    }
    return !modified.isValid() || file.setFileTime(modified, QFileDevice::FileModificationTime);
}
