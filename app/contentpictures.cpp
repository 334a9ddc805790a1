#include "contentpictures.h"

#include "contentkind.h"
#include "hzip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QUuid>

namespace {

const QSize iconSize(256, 256);
// Larger pictures are not decoded at all: read scaled or not, they would take
// hundreds of megabytes.
const qint64 maxPixels = qint64(40) * 1000 * 1000;

} // namespace

ContentPictures::ContentPictures(HZip* zip, const QString& archivePath, const QString& tempDir,
                                 const QString& iconDir)
    : zip(zip), archivePath(archivePath), tempDir(tempDir), iconDir(iconDir)
{
}

ContentPictures::~ContentPictures()
{
    if (!batchDir.isEmpty()) {
        QDir(batchDir).removeRecursively();
    }
}

void ContentPictures::extractAll(const QVector<FILE_IN_VAR>& records, bool showBigImg,
                                 const std::atomic_bool& busy)
{
    QStringList members;
    for (const FILE_IN_VAR& record : records) {
        if (record.filePath != QLatin1String("meta.json") &&
            ContentKind::of(record.filePath).fits(record.size, showBigImg)) {
            members << record.filePath;
        }
    }
    if (members.isEmpty()) {
        return;
    }
    batchDir =
        tempDir + QStringLiteral("/pictures-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    zip->ExtractFiles(archivePath, members, batchDir, [&busy] { return busy.load(); });
}

QString ContentPictures::extractedPath(const QString& memberPath)
{
    if (batchDir.isEmpty()) {
        QString outFile;
        zip->ExtractAFile(archivePath, memberPath, tempDir, outFile);
        return outFile;
    }
    return batchDir + QLatin1Char('/') + memberPath;
}

QImage ContentPictures::take(const QString& memberPath)
{
    const QString file = QDir::cleanPath(extractedPath(memberPath));
    // A member path with ".." segments must not lead to a file outside our folder.
    const QString home =
        QDir::cleanPath(batchDir.isEmpty() ? tempDir : batchDir) + QLatin1Char('/');
    if (!file.startsWith(home)) {
        return QImage();
    }
    // A link stored in the archive would show a file from outside it.
    if (QFileInfo(file).isSymLink()) {
        QFile::remove(file);
        return QImage();
    }
    const QImage picture = readThumbnail(file);
    QFile::remove(file);
    return picture;
}

QImage ContentPictures::placeholder(const QString& name)
{
    auto found = placeholders.constFind(name);
    if (found == placeholders.constEnd()) {
        found = placeholders.insert(name, readThumbnail(iconDir + name));
    }
    return found.value();
}

QImage ContentPictures::readThumbnail(const QString& file)
{
    QImageReader reader(file);
    const QSize size = reader.size();
    if (size.isValid()) {
        if (qint64(size.width()) * size.height() > maxPixels) {
            return QImage();
        }
        if (size.width() > iconSize.width() || size.height() > iconSize.height()) {
            reader.setScaledSize(size.scaled(iconSize, Qt::KeepAspectRatio));
        }
    }
    return reader.read();
}
