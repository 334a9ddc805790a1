#include "contentpictures.h"

#include "contentkind.h"
#include "hvararchive.h"
#include "hzip.h"

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
// What 7-Zip may write into the scratch folder for one inspection, all pictures
// together: a package must not fill the disk.
const qint64 maxExtractedTotal = qint64(1024) * 1024 * 1024;
// Pictures read ahead of the one the list waits for: enough to keep every core busy,
// few enough that a package of thousands of pictures is not held in memory at once.
const int readAhead = 64;
// Pictures read before the archive is listed: more than the cores read while 7-Zip
// lists it, few enough to be held in memory at once.
const int maxEarly = 128;
// Thumbnails kept unencoded until the list is filled (a quarter of a MiB each); past
// that, each is encoded as soon as it is read.
const int maxKept = 512;
// Files of the extraction looked at beyond the last one known to be begun: 7-Zip may
// have skipped a few that it could not write.
const int lookAhead = 16;
// How often a wait looks at the stop request.
const std::chrono::milliseconds pollTime(20);

} // namespace

ContentPictures::ContentPictures(const QString& archivePath, const QString& tempDir,
                                 const QString& iconDir, bool showBigImg,
                                 const std::atomic_bool& busy)
    : archivePath(archivePath), tempDir(tempDir), iconDir(iconDir), showBigImg(showBigImg),
      busy(busy)
{
}

ContentPictures::~ContentPictures()
{
    stop();
    joinThreads();
    if (!batchDir.isEmpty()) {
        QDir(batchDir).removeRecursively();
    }
}

void ContentPictures::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
}

void ContentPictures::joinThreads()
{
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
}

bool ContentPictures::keepGoing() const
{
    return busy && !stopping;
}

void ContentPictures::lookUp()
{
    package = ThumbnailCache::packageAt(archivePath);
    found = ThumbnailCache(ThumbnailCache::defaultFile(), ThumbnailCache::defaultCap, [this] {
                return keepGoing();
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
    earlyReaders = qMax(1, QThread::idealThreadCount());
    for (int reader = earlyReaders; reader > 0; --reader) {
        threads.emplace_back([this] { runReader(); });
    }
}

void ContentPictures::runReader()
{
    // An archive reader of this thread's own, opened when first needed.
    HVarArchive archive;
    for (int at = nextEarly++; at < int(early.size()) && keepGoing(); at = nextEarly++) {
        Early& picture = early[size_t(at)];
        if (!picture.cached.isEmpty()) {
            picture.image = ThumbnailCache::decode(picture.cached);
        } else {
            picture.image = readInProcess(picture.member, picture.limit, archive);
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        --earlyReaders;
    }
    changed.notify_all();
    readQueued(archive);
}

void ContentPictures::start(const QVector<FILE_IN_VAR>& records)
{
    // The readers leave the early pictures; what they read is then in view. A stop
    // does not wait for them.
    nextEarly = int(early.size());
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (earlyReaders > 0) {
            if (!keepGoing()) {
                return;
            }
            changed.wait_for(lock, pollTime);
        }
    }
    QHash<QString, const Early*> earlyOf;
    for (const Early& picture : early) {
        earlyOf.insert(picture.member, &picture);
    }

    // Members whose files would fall on one another: listed twice, or (where file names
    // ignore case) in another case.
    QHash<QString, int> namesakes;
    QVector<Picture> made;
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
        }
    }
    if (!made.isEmpty()) {
        batchDir = tempDir + QStringLiteral("/pictures-") +
                   QUuid::createUuid().toString(QUuid::WithoutBraces);
    }

    // What the in-process reader refuses goes to 7-Zip, as do members that 7-Zip would
    // write over one another, which it reads as files.
    QStringList missing;
    for (int index = 0; index < made.size(); ++index) {
        Picture& picture = made[index];
        const Early* read = earlyOf.value(picture.member);
        const auto cached = found.constFind(picture.member);
        const bool namesake = namesakes.value(picture.member.toLower()) > 1;
        if (cached != found.constEnd() && cached->memberSize == picture.size &&
            picture.hasCrc && cached->crc == picture.crc) {
            picture.cached = cached->image;
            picture.available = true;
            if (read && !read->cached.isEmpty() && !read->image.isNull()) {
                picture.image = read->image;
                picture.started = picture.done = true;
                picture.cached.clear();
            }
        } else if (namesake || !directory.readable(picture.member)) {
            picture.source = SevenZip;
            missing << picture.member;
            extractionOrder << index;
            extractionFiles << extractedFile(picture.member);
            writtenTwice << namesake;
        } else {
            picture.source = InProcess;
            picture.available = true;
            if (read && read->cached.isEmpty() && !read->image.isNull()) {
                picture.image = picture.thumbnail = read->image;
                picture.started = picture.done = true;
                ++kept;
            }
        }
    }
    early.clear();
    found.clear();
    {
        std::lock_guard<std::mutex> lock(mutex);
        pictures = std::move(made);
        listed = true;
        if (!missing.isEmpty()) {
            extraction = Running;
        }
        readEnd = readAhead;
        startReading(readEnd);
    }
    if (!missing.isEmpty()) {
        threads.emplace_back([this, missing] { extract(missing); });
    }
}

void ContentPictures::extract(const QStringList& members)
{
    // An archive reader of this thread's own.
    HZip zip;
    const bool extracted =
        zip.ExtractFiles(archivePath, members, batchDir, [this] { return watchExtraction(); });
    std::lock_guard<std::mutex> lock(mutex);
    extraction = extracted ? Extracted : Failed;
    written = extractionFiles.size();
    makeAvailable(0, written);
}

bool ContentPictures::watchExtraction()
{
    // 7-Zip writes one file after another: once it has begun a file, every file
    // before it is whole.
    int begunEnd = written;
    const int end = qMin(extractionFiles.size(), written + 1 + lookAhead);
    for (int next = written + 1; next < end; ++next) {
        const QFileInfo file(extractionFiles.at(next));
        if (file.exists() || file.isSymLink()) {
            begunEnd = next;
        }
    }
    if (begunEnd > written) {
        for (int whole = written; whole < begunEnd; ++whole) {
            writtenBytes += QFileInfo(extractionFiles.at(whole)).size();
        }
        std::lock_guard<std::mutex> lock(mutex);
        makeAvailable(written, begunEnd);
        written = begunEnd;
    }
    // The file being written counts too: 7-Zip is ended once a picture grows past what
    // any may hold, or all past what an inspection may write, whatever the archive
    // states. The file cut short goes, so that it is not read.
    const QString current = extractionFiles.value(written);
    const qint64 currentBytes = current.isEmpty() ? 0 : QFileInfo(current).size();
    if (currentBytes > ContentKind::maxExtractedSize ||
        writtenBytes + currentBytes > maxExtractedTotal) {
        QFile::remove(current);
        return false;
    }
    return keepGoing();
}

void ContentPictures::makeAvailable(int from, int to)
{
    for (int position = from; position < to; ++position) {
        if (extraction != Running || !writtenTwice.at(position)) {
            pictures[extractionOrder.at(position)].available = true;
        }
    }
    startReading(readEnd);
}

void ContentPictures::startReading(int end)
{
    end = qMin(end, pictures.size());
    for (int index = firstUnstarted; index < end; ++index) {
        Picture& picture = pictures[index];
        if (!picture.started && picture.available) {
            picture.started = true;
            queue.push_back(index);
        }
    }
    while (firstUnstarted < pictures.size() && pictures.at(firstUnstarted).started) {
        ++firstUnstarted;
    }
    changed.notify_all();
}

void ContentPictures::readQueued(HVarArchive& archive)
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] {
            return stopping || !queue.empty() || (listed && firstUnstarted == pictures.size());
        });
        if (stopping || queue.empty()) {
            return;
        }
        const int index = queue.front();
        queue.pop_front();
        lock.unlock();
        read(index, archive);
        lock.lock();
    }
}

void ContentPictures::read(int index, HVarArchive& archive)
{
    std::unique_lock<std::mutex> lock(mutex);
    const QString member = pictures.at(index).member;
    const QByteArray cached = pictures.at(index).cached;
    const Source source = pictures.at(index).source;
    lock.unlock();

    QImage image;
    QImage thumbnail;
    QByteArray encoded;
    if (!keepGoing()) {
        // Nobody waits for it any more.
    } else if (source == Cache) {
        image = ThumbnailCache::decode(cached);
    } else {
        image = source == InProcess ? readInProcess(member, HVarArchive::defaultLimit, archive)
                                    : readExtracted(member);
        // Encoding for the cache waits until the list is filled, unless that would
        // hold too many thumbnails in memory.
        if (!image.isNull() && kept.fetch_add(1) < maxKept) {
            thumbnail = image;
        } else if (!image.isNull()) {
            encoded = ThumbnailCache::encode(image);
        }
    }

    lock.lock();
    Picture& picture = pictures[index];
    picture.cached.clear();
    picture.image = image;
    picture.thumbnail = thumbnail;
    picture.encoded = encoded;
    picture.done = true;
    lock.unlock();
    changed.notify_all();
}

QImage ContentPictures::take(const QString& memberPath,
                             const std::function<void()>& whileWaiting)
{
    const int index = indexOf.value(memberPath, -1);
    if (index < 0) {
        return QImage();
    }
    std::unique_lock<std::mutex> lock(mutex);
    readEnd = index + readAhead;
    startReading(readEnd);
    while (!pictures.at(index).done && busy) {
        lock.unlock();
        whileWaiting();
        lock.lock();
        if (!pictures.at(index).done) {
            changed.wait_for(lock, pollTime);
        }
    }
    Picture& picture = pictures[index];
    const QImage image = picture.image;
    picture.image = QImage();
    const QString placeholderName = picture.placeholder;
    lock.unlock();
    return image.isNull() ? placeholder(placeholderName) : image;
}

void ContentPictures::remember(const std::function<bool()>& goOn)
{
    joinThreads();
    if (pictures.isEmpty()) {
        return;
    }
    // A 7-Zip run that failed or was cut off may have left files half written; a
    // picture without the directory's checksum could not be told from another later.
    const bool extractedWell = extraction == Extracted;
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
    // The readers are done by now: their cores encode.
    std::atomic_int next{0};
    const auto encodeNext = [&] {
        for (int at = next++; at < indices.size() && goOn(); at = next++) {
            std::unique_lock<std::mutex> lock(mutex);
            const QImage thumbnail = pictures.at(indices.at(at)).thumbnail;
            lock.unlock();
            const QByteArray encoded = ThumbnailCache::encode(thumbnail);
            lock.lock();
            Picture& picture = pictures[indices.at(at)];
            picture.thumbnail = QImage();
            picture.encoded = encoded;
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

QString ContentPictures::extractedFile(const QString& member) const
{
    const QString file = QDir::cleanPath(batchDir + QLatin1Char('/') + member);
    // A member path with ".." segments must not lead to a file outside our folder.
    return file.startsWith(QDir::cleanPath(batchDir) + QLatin1Char('/')) ? file : QString();
}

QImage ContentPictures::readExtracted(const QString& member) const
{
    const QString file = extractedFile(member);
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
