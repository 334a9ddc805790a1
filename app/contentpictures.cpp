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
// Larger pictures are not decoded at all: read scaled or not, they would take
// hundreds of megabytes.
const qint64 maxPixels = qint64(40) * 1000 * 1000;
// Pictures read ahead of the one the list waits for: enough to keep every core busy,
// few enough that a package of thousands of pictures is not held in memory at once.
const int readAhead = 64;
// Thumbnails from the cache read before the archive is listed: about as many as the
// cores read while 7-Zip lists it, few enough to be held in memory at once.
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
                                 const QString& iconDir, const std::atomic_bool& busy)
    : archivePath(archivePath), tempDir(tempDir), iconDir(iconDir), busy(busy)
{
}

ContentPictures::~ContentPictures()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (!batchDir.isEmpty()) {
        QDir(batchDir).removeRecursively();
    }
}

bool ContentPictures::keepGoing() const
{
    return busy && !stopping;
}

void ContentPictures::lookUp()
{
    package = ThumbnailCache::packageAt(archivePath);
    found = cache.find(package);
    // Nearly every thumbnail stored is shown again, so those read before the listing
    // says which are needed are hardly ever read in vain.
    earlyMembers = found.keys().mid(0, maxEarly);
    earlyImages.resize(size_t(earlyMembers.size()));
    for (int reader = qMax(1, QThread::idealThreadCount()); reader > 0; --reader) {
        threads.emplace_back([this] { readEarly(); });
    }
}

void ContentPictures::readEarly()
{
    for (int at = nextEarly++; at < earlyMembers.size() && keepGoing(); at = nextEarly++) {
        earlyImages[size_t(at)] = ThumbnailCache::decode(found.value(earlyMembers.at(at)).image);
    }
}

void ContentPictures::start(const QVector<FILE_IN_VAR>& records, bool showBigImg)
{
    // The early readers end at once; what they read is then in view.
    nextEarly = earlyMembers.size();
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
    QHash<QString, QImage> early;
    for (int at = 0; at < earlyMembers.size(); ++at) {
        early.insert(earlyMembers.at(at), earlyImages[size_t(at)]);
    }
    earlyImages.clear();

    // Members whose files would fall on one another: listed twice, or (where file names
    // ignore case) in another case.
    QHash<QString, int> namesakes;
    for (const FILE_IN_VAR& record : records) {
        ++namesakes[record.filePath.toLower()];
        const ContentKind kind = ContentKind::of(record.filePath);
        if (kind.fits(record.size, showBigImg) && !indexOf.contains(record.filePath)) {
            indexOf.insert(record.filePath, pictures.size());
            Picture picture;
            picture.member = record.filePath;
            picture.size = record.size;
            picture.placeholder = kind.placeholder;
            pictures.append(picture);
        }
    }
    if (pictures.isEmpty()) {
        return;
    }
    batchDir = tempDir + QStringLiteral("/pictures-") +
               QUuid::createUuid().toString(QUuid::WithoutBraces);

    // What the in-process reader refuses goes to 7-Zip, as do members that 7-Zip would
    // write over one another, which it reads as files.
    HVarArchive archive;
    archive.open(archivePath);
    QStringList missing;
    for (int index = 0; index < pictures.size(); ++index) {
        Picture& picture = pictures[index];
        const auto cached = found.constFind(picture.member);
        if (cached != found.constEnd() && cached->memberSize == picture.size) {
            picture.cached = cached->image;
            picture.image = early.value(picture.member);
        }
        const bool namesake = namesakes.value(picture.member.toLower()) > 1;
        if (!picture.image.isNull()) {
            picture.available = picture.started = picture.done = true;
            picture.cached.clear();
        } else if (!picture.cached.isEmpty()) {
            picture.available = true;
        } else if (!namesake && archive.readable(picture.member)) {
            picture.source = InProcess;
            picture.available = true;
        } else {
            picture.source = SevenZip;
            missing << picture.member;
            extractionOrder << index;
            extractionFiles << extractedFile(picture.member);
            writtenTwice << namesake;
        }
    }
    found.clear();
    if (!missing.isEmpty()) {
        extraction = Running;
        threads.emplace_back([this, missing] { extract(missing); });
    }
    readEnd = readAhead;
    startReading(readEnd);
    // A thread a core for reading; 7-Zip mostly waits for the disk.
    for (int reader = qMax(1, QThread::idealThreadCount()); reader > 0; --reader) {
        threads.emplace_back([this] { readQueued(); });
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
        std::lock_guard<std::mutex> lock(mutex);
        makeAvailable(written, begunEnd);
        written = begunEnd;
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

void ContentPictures::readQueued()
{
    // An archive reader of this thread's own, opened when first needed.
    HVarArchive archive;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] {
            return stopping || !queue.empty() || firstUnstarted == pictures.size();
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
        image = source == InProcess ? readInProcess(member, archive) : readExtracted(member);
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

void ContentPictures::remember()
{
    if (pictures.isEmpty()) {
        return;
    }
    QVector<int> unencoded;
    bool extractedWell = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        // A run that failed or was cut off may have left files half written.
        extractedWell = extraction == Extracted;
        for (int index = 0; index < pictures.size(); ++index) {
            const Picture& picture = pictures.at(index);
            if ((extractedWell || picture.source == InProcess) && !picture.thumbnail.isNull()) {
                unencoded << index;
            }
        }
    }
    encodeKept(unencoded);
    QVector<ThumbnailCache::Entry> entries;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (Picture& picture : pictures) {
            if ((extractedWell || picture.source == InProcess) && !picture.encoded.isEmpty()) {
                entries.append({picture.member, picture.size, picture.encoded});
                picture.encoded.clear();
            }
        }
    }
    if (keepGoing()) {
        cache.store(package, entries);
    }
}

void ContentPictures::encodeKept(const QVector<int>& indices)
{
    // The readers are done by now: their cores encode.
    std::atomic_int next{0};
    const auto encodeNext = [&] {
        for (int at = next++; at < indices.size() && keepGoing(); at = next++) {
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

QImage ContentPictures::readInProcess(const QString& member, HVarArchive& archive) const
{
    QByteArray data;
    if (!archive.isOpen() && !archive.open(archivePath)) {
        return QImage();
    }
    // The reader checks what it unpacks against the archive's checksum: a damaged
    // picture shows its placeholder rather than half an image.
    if (!archive.read(member, data)) {
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
        if (qint64(size.width()) * size.height() > maxPixels) {
            return QImage();
        }
        if (size.width() > iconSize.width() || size.height() > iconSize.height()) {
            reader.setScaledSize(size.scaled(iconSize, Qt::KeepAspectRatio));
        }
    }
    return reader.read();
}
