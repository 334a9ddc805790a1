#include "testarchive.h"

#include "testfiles.h"

#include <QBuffer>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace TestArchive {

QString sevenZip()
{
    QString found = qEnvironmentVariable("DOVETALK_7Z");
    for (const char* name : {"7zz", "7z", "7za"}) {
        found = found.isEmpty() ? QStandardPaths::findExecutable(name) : found;
    }
    return found;
}

bool create(const QString& archivePath, const QMap<QString, QByteArray>& members,
            const QStringList& extraArgs)
{
    QTemporaryDir staging;
    for (auto it = members.constBegin(); it != members.constEnd(); ++it) {
        if (!TestFiles::write(staging.filePath(it.key()), it.value())) {
            return false;
        }
    }
    QProcess zip;
    zip.setWorkingDirectory(staging.path());
    zip.setStandardInputFile(QProcess::nullDevice());
    zip.start(sevenZip(), QStringList{"a"} + extraArgs +
                              QStringList{"-spd", "--", QFileInfo(archivePath).absoluteFilePath()} +
                              members.keys());
    return zip.waitForFinished(60000) && zip.exitStatus() == QProcess::NormalExit &&
           zip.exitCode() == 0;
}

QByteArray metaJson(const QMap<QString, QString>& dependencies)
{
    QJsonObject named;
    for (auto it = dependencies.constBegin(); it != dependencies.constEnd(); ++it) {
        named.insert(it.key(), it.value().isEmpty() ? QJsonObject()
                                                    : QJsonObject{{"licenseType", it.value()}});
    }
    return QJsonDocument(QJsonObject{{"dependencies", named}}).toJson();
}

QByteArray picture(int width, int height, const char* format, const QColor& color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 80);
    return bytes;
}

QByteArray paddedPicture(int size, const char* format)
{
    const QByteArray bytes = picture(64, 64, format);
    return (bytes + QByteArray(qMax(0, size - bytes.size()), '\0')).left(size);
}

} // namespace TestArchive
