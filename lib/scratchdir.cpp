#include "scratchdir.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

QString scratchDirectory(const QString& name)
{
    const QString appDir = QCoreApplication::applicationDirPath();
    if (QFileInfo(appDir).isWritable()) {
        return appDir + QLatin1Char('/') + name;
    }
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QLatin1Char('/') +
           name;
}
