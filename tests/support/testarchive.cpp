#include "testarchive.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace TestArchive {

QString sevenZip()
{
    const QString fromEnv = QProcessEnvironment::systemEnvironment().value("DOVETALK_7Z");
    if (!fromEnv.isEmpty()) {
        return fromEnv;
    }
    for (const char* name : {"7zz", "7z", "7za"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty()) {
            return found;
        }
    }
    return QString();
}

bool create(const QString& archivePath, const QMap<QString, QByteArray>& members,
            const QStringList& extraArgs)
{
    const QString program = sevenZip();
    QTemporaryDir staging;
    if (program.isEmpty() || !staging.isValid()) {
        return false;
    }
    QStringList names;
    for (auto it = members.constBegin(); it != members.constEnd(); ++it) {
        const QString target = staging.filePath(it.key());
        QDir().mkpath(QFileInfo(target).path());
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size()) {
            return false;
        }
        names << it.key();
    }
    QProcess zip;
    zip.setWorkingDirectory(staging.path());
    zip.setStandardInputFile(QProcess::nullDevice());
    QStringList args{QStringLiteral("a")};
    args << extraArgs << QStringLiteral("-spd") << QStringLiteral("--")
         << QFileInfo(archivePath).absoluteFilePath() << names;
    zip.start(program, args);
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

QByteArray jpeg(int width, int height)
{
    return picture(width, height);
}

QByteArray paddedPicture(int size, const char* format)
{
    QByteArray bytes = picture(64, 64, format);
    if (bytes.size() < size) {
        bytes.append(QByteArray(size - bytes.size(), '\0'));
    }
    return bytes.left(size);
}

QByteArray paddedJpeg(int size)
{
    return paddedPicture(size);
}

} // namespace TestArchive
