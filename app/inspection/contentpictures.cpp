#include "contentpictures.h"

#include "contentkind.h"
#include "hvararchive.h"
#include "hzip.h"
#include "pictureextraction.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QThread>
#include <QUuid>

namespace {

const QSize iconSize(256, 256);
// Larger pictures are not decoded at all, so that one picture takes at most about
// 50 ms on our machine: a reader looks at the stop request only between pictures, so
// this bounds how long a stopped inspection's readers go on. A JPEG is scaled while
// it is decoded, about 3 ns a pixel at worst (progressive); other formats decode
// every pixel before scaling, about 12 ns a pixel.
const qint64 maxScaledPixels = qint64(4096) * 4096;
const qint64 maxWholePixels = qint64(2048) * 2048;
// Pictures read ahead of the one the list waits for: enough to keep every core busy,
// few enough that a package of thousands of pictures is not held in memory at once.
const int readAhead = 64;
// Pictures read before the archive is listed: more than the cores read while 7-Zip
// lists it, few enough to be held in memory at once.
const int maxEarly = 128;
// Thumbnails kept unencoded until the list is filled (a quarter of a MiB each); past
// that, each is encoded as soon as it is read.
const int maxKept = 512;

} // namespace

ContentPictures::ContentPictures(const QString& archivePath, const QString& tempDir,
                                 const QString& iconDir, bool showBigImg,
                                 const std::atomic_bool& busy)
    : archivePath(archivePath), tempDir(tempDir), iconDir(iconDir), showBigImg(showBigImg),
      stages(busy)
{
}

ContentPictures::~ContentPictures()
{
    stop();
    joinThreads();
}

void ContentPictures::stop()
{
    stages.stop();
}

void ContentPictures::joinThreads()
{
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
}

void ContentPictures::lookUp()
{
    package = ThumbnailCache::packageAt(archivePath);
    found = ThumbnailCache(ThumbnailCache::defaultFile(), ThumbnailCache::defaultCap, [this] {
                return !stages.stopped();
            }).find(package);
    // Nearly every thumbnail stored is shown again, and the archive's own directory
    // names nearly every picture the listing will: those read before the listing says
    // which are needed are hardly ever read in vain.
    for (auto it = found.cbegin(); it != found.cend() && early.size() < size_t(maxEarly); ++it) {
        early.push_back({it.key(), it->image, 0, QImage()});
    }
    if (directory.open(archivePath)) {
        for (const QString& member : directory.members()) {
            if (early.size() >= size_t(maxEarly)) {
                break;
            }
            const ContentKind kind = ContentKind::of(member);
            if (kind.type == ContentKind::Picture && !found.contains(member)) {
                early.push_back({member, QByteArray(),
                                 showBigImg ? HVarArchive::defaultLimit : kind.sizeLimit,
                                 QImage()});
            }
        }
    }
    const int readers = qMax(1, QThread::idealThreadCount());
    stages.beginEarly(readers);
    for (int reader = readers; reader > 0; --reader) {
        threads.emplace_back([this] { runReader(); });
    }
}

void ContentPictures::runReader()
{
    // An archive reader of this thread's own, opened when first needed.
    HVarArchive archive;
    for (int at = nextEarly++; at < int(early.size()) && !stages.stopped(); at = nextEarly++) {
        Early& picture = early[size_t(at)];
        if (!picture.cached.isEmpty()) {
            picture.image = ThumbnailCache::decode(picture.cached);
        } else {
            picture.image = readInProcess(picture.member, picture.limit, archive);
        }
    }
    stages.leaveEarly();
    for (int index = stages.next(); index >= 0; index = stages.next()) {
        read(index, archive);
    }
}

void ContentPictures::start(const QVector<FILE_IN_VAR>& records)
{
    // The readers leave the early pictures; what they read is then in view. A stop
    // does not wait for them.
    nextEarly = int(early.size());
    if (!stages.waitForEarlyReaders()) {
        return;
    }
    QHash<QString, const Early*> earlyOf;
    for (const Early& picture : early) {
        earlyOf.insert(picture.member, &picture);
    }

    // Members whose files would fall on one another: listed twice, or (where file names
    // ignore case) in another case.
    QHash<QString, int> namesakes;
    QVector<Picture> made;
    QVector<PictureStages::Stage> first;
    for (const FILE_IN_VAR& record : records) {
        ++namesakes[record.filePath.toLower()];
        const ContentKind kind = ContentKind::of(record.filePath);
        if (kind.fits(record.size, showBigImg) && !indexOf.contains(record.filePath)) {
            indexOf.insert(record.filePath, made.size());
            Picture picture;
            picture.member = record.filePath;
            picture.size = record.size;
            picture.placeholder = kind.placeholder;
            picture.hasCrc = directory.statedCrc(picture.member, picture.crc);
            made.append(picture);
            first.append(PictureStages::Ready);
        }
    }

    // What the in-process reader refuses goes to 7-Zip, as do members that 7-Zip would
    // write over one another, which it reads as files.
    for (int index = 0; index < made.size(); ++index) {
        Picture& picture = made[index];
        const Early* read = earlyOf.value(picture.member);
        const auto cached = found.constFind(picture.member);
        const bool namesake = namesakes.value(picture.member.toLower()) > 1;
        if (cached != found.constEnd() && cached->memberSize == picture.size &&
            picture.hasCrc && cached->crc == picture.crc) {
            picture.cached = cached->image;
            if (read && !read->cached.isEmpty() && !read->image.isNull()) {
                picture.image = read->image;
                first[index] = PictureStages::Done;
                picture.cached.clear();
            }
        } else if (namesake || !directory.readable(picture.member)) {
            picture.source = SevenZip;
            first[index] = PictureStages::Waiting;
            if (!extraction) {
                extraction = std::make_unique<PictureExtraction>(
                    archivePath, tempDir + QStringLiteral("/pictures-") +
                                     QUuid::createUuid().toString(QUuid::WithoutBraces));
            }
            extraction->add(index, picture.member, namesake);
        } else {
            picture.source = InProcess;
            if (read && read->cached.isEmpty() && !read->image.isNull()) {
                picture.image = picture.thumbnail = read->image;
                first[index] = PictureStages::Done;
                ++kept;
            }
        }
    }
    early.clear();
    found.clear();
    // The readers see the pictures once they are queued.
    pictures = std::move(made);
    stages.list(std::move(first), readAhead);
    if (extraction) {
        threads.emplace_back([this] { extraction->run(stages); });
    }
}

void ContentPictures::read(int index, HVarArchive& archive)
{
    // The picture is Reading: its data is this reader's until it is Done.
    Picture& picture = pictures[index];
    if (picture.source == Cache) {
        picture.image = ThumbnailCache::decode(picture.cached);
    } else {
        picture.image = picture.source == InProcess
                            ? readInProcess(picture.member, HVarArchive::defaultLimit, archive)
                            : readExtracted(picture.member);
        // Encoding for the cache waits until the list is filled, unless that would
        // hold too many thumbnails in memory.
        if (!picture.image.isNull() && kept.fetch_add(1) < maxKept) {
            picture.thumbnail = picture.image;
        } else if (!picture.image.isNull()) {
            picture.encoded = ThumbnailCache::encode(picture.image);
        }
    }
    picture.cached.clear();
    stages.finish(index);
}

QImage ContentPictures::take(const QString& memberPath,
                             const std::function<void()>& whileWaiting)
{
    const int index = indexOf.value(memberPath, -1);
    if (index < 0) {
        return QImage();
    }
    QImage image;
    Picture& picture = pictures[index];
    if (stages.waitFor(index, readAhead, whileWaiting)) {
        image = picture.image;
        picture.image = QImage();
    }
    return image.isNull() ? placeholder(picture.placeholder) : image;
}

void ContentPictures::remember(const std::function<bool()>& goOn)
{
    joinThreads();
    if (pictures.isEmpty()) {
        return;
    }
    // A 7-Zip run that failed or was cut off may have left files half written; a
    // picture without the directory's checksum could not be told from another later.
    const bool extractedWell = !extraction || extraction->succeeded();
    const auto keepable = [extractedWell](const Picture& picture) {
        return picture.hasCrc &&
               (picture.source == InProcess || (picture.source == SevenZip && extractedWell));
    };
    QVector<int> unencoded;
    for (int index = 0; index < pictures.size(); ++index) {
        if (keepable(pictures.at(index)) && !pictures.at(index).thumbnail.isNull()) {
            unencoded << index;
        }
    }
    encodeKept(unencoded, goOn);
    QVector<ThumbnailCache::Entry> entries;
    for (Picture& picture : pictures) {
        if (keepable(picture) && !picture.encoded.isEmpty()) {
            entries.append({picture.member, picture.size, picture.crc, picture.encoded});
            picture.encoded.clear();
        }
    }
    if (goOn()) {
        ThumbnailCache(ThumbnailCache::defaultFile(), ThumbnailCache::defaultCap, goOn)
            .store(package, entries);
    }
}

void ContentPictures::encodeKept(const QVector<int>& indices,
                                 const std::function<bool()>& goOn)
{
    // The readers are done by now: their cores encode, each picture on one of them.
    std::atomic_int next{0};
    const auto encodeNext = [&] {
        for (int at = next++; at < indices.size() && goOn(); at = next++) {
            Picture& picture = pictures[indices.at(at)];
            picture.encoded = ThumbnailCache::encode(picture.thumbnail);
            picture.thumbnail = QImage();
        }
    };
    std::vector<std::thread> encoders;
    for (int encoder = qMax(1, QThread::idealThreadCount()) - 1; encoder > 0; --encoder) {
        encoders.emplace_back(encodeNext);
    }
    encodeNext();
    for (std::thread& encoder : encoders) {
        encoder.join();
    }
}

QImage ContentPictures::readExtracted(const QString& member) const
{
    const QString file = extraction->fileOf(member);
    if (file.isEmpty()) {
        return QImage();
    }
    // A link stored in the archive would show a file from outside it.
    if (QFileInfo(file).isSymLink()) {
        QFile::remove(file);
        return QImage();
    }
    const QImage image = readThumbnail(file);
    QFile::remove(file);
    return image;
}

QImage ContentPictures::readInProcess(const QString& member, qint64 limit,
                                      HVarArchive& archive) const
{
    QByteArray data;
    if (!archive.isOpen() && !archive.open(archivePath)) {
        return QImage();
    }
    // The reader checks what it unpacks against the archive's checksum: a damaged
    // picture shows its placeholder rather than half an image.
    if (!archive.read(member, data, limit)) {
        return QImage();
    }
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readThumbnail(reader);
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
    return readThumbnail(reader);
}

QImage ContentPictures::readThumbnail(QImageReader& reader)
{
    const QSize size = reader.size();
    if (size.isValid()) {
        const qint64 maxPixels = reader.format() == "jpeg" ? maxScaledPixels : maxWholePixels;
        if (qint64(size.width()) * size.height() > maxPixels) {
            return QImage();
        }
        if (size.width() > iconSize.width() || size.height() > iconSize.height()) {
            reader.setScaledSize(size.scaled(iconSize, Qt::KeepAspectRatio));
        }
    }
    return reader.read();
}
