#include "datafiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

QString dataFilePath(const QString& name)
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString beside = appDir + QLatin1Char('/') + name;
    QStringList candidates{beside};
    const QStringList dataDirs = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    for (const QString& dir : dataDirs) {
        candidates << dir + QLatin1Char('/') + name;
    }
    // Relative to the program, so that an installation under any prefix finds its data.
    candidates << QDir::cleanPath(appDir + QStringLiteral("/" QUILLMARK_INSTALLED_DATA_DIR "/") +
                                  name);
    for (const QString& path : candidates) {
        if (QFileInfo::exists(path)) {
            return path;
        }
    }
    return beside;
}
