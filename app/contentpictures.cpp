#include "contentpictures.h"

#include "contentkind.h"
#include "hzip.h"

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
// Pictures are extracted in up to this many 7-Zip runs, so that the first ones can be
// read while 7-Zip writes the later ones; fewer runs for fewer pictures, as each
// run costs a start of 7-Zip and a reading of the archive's directory.
const int maxRuns = 4;
const int minPicturesPerRun = 32;
// How often a wait looks at the stop request.
const std::chrono::milliseconds pollTime(20);

} // namespace

ContentPictures::ContentPictures(HZip* zip, const QString& archivePath, const QString& tempDir,
                                 const QString& iconDir, const std::atomic_bool& busy)
    : zip(zip), archivePath(archivePath), tempDir(tempDir), iconDir(iconDir), busy(busy)
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

void ContentPictures::start(const QVector<FILE_IN_VAR>& records, bool showBigImg)
{
    QHash<QString, qint64> sizes;
    for (const FILE_IN_VAR& record : records) {
        const ContentKind kind = ContentKind::of(record.filePath);
        if (kind.fits(record.size, showBigImg) && !indexOf.contains(record.filePath)) {
            indexOf.insert(record.filePath, pictures.size());
            Picture picture;
            picture.member = record.filePath;
            picture.size = record.size;
            picture.placeholder = kind.placeholder;
            pictures.append(picture);
            sizes.insert(record.filePath, record.size);
        }
    }
    if (pictures.isEmpty()) {
        return;
    }
    package = ThumbnailCache::packageAt(archivePath);
    const QHash<QString, QByteArray> cached = cache.find(package, sizes);

    QStringList missing;
    for (Picture& picture : pictures) {
        picture.cached = cached.value(picture.member);
        if (picture.cached.isEmpty()) {
            missing << picture.member;
        }
    }
    QVector<QStringList> members;
    if (!missing.isEmpty()) {
        const int runCount = qBound(1, missing.size() / minPicturesPerRun, maxRuns);
        const int perRun = (missing.size() + runCount - 1) / runCount;
        for (int first = 0; first < missing.size(); first += perRun) {
            members << missing.mid(first, perRun);
            for (const QString& member : qAsConst(members.last())) {
                pictures[indexOf.value(member)].run = members.size() - 1;
            }
        }
        runs.fill(Pending, members.size());
        batchDir = tempDir + QStringLiteral("/pictures-") +
                   QUuid::createUuid().toString(QUuid::WithoutBraces);
        threads.emplace_back([this, members] { extract(members); });
    }
    startReading(readAhead);
    // A thread a core for reading; the 7-Zip runs mostly wait.
    for (int reader = qMax(1, QThread::idealThreadCount()); reader > 0; --reader) {
        threads.emplace_back([this] { readQueued(); });
    }
}

void ContentPictures::extract(const QVector<QStringList>& members)
{
    for (int run = 0; run < members.size() && keepGoing(); ++run) {
        const bool extracted = zip->ExtractFiles(archivePath, members.at(run), batchDir,
                                                 [this] { return keepGoing(); });
        {
            std::lock_guard<std::mutex> lock(mutex);
            runs[run] = extracted ? Extracted : Failed;
        }
        changed.notify_all();
    }
}

void ContentPictures::startReading(int end)
{
    end = qMin(end, pictures.size());
    for (int index = firstUnstarted; index < end; ++index) {
        Picture& picture = pictures[index];
        if (!picture.started && (picture.run < 0 || runs.at(picture.run) != Pending)) {
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
        read(index);
        lock.lock();
    }
}

void ContentPictures::read(int index)
{
    std::unique_lock<std::mutex> lock(mutex);
    const QString member = pictures.at(index).member;
    const QByteArray cached = pictures.at(index).cached;
    const bool fromCache = pictures.at(index).run < 0;
    const bool cacheable = !fromCache && runs.at(pictures.at(index).run) == Extracted;
    lock.unlock();

    QImage image;
    QByteArray encoded;
    if (!keepGoing()) {
        // Nobody waits for it any more.
    } else if (fromCache) {
        image = QImage::fromData(cached);
    } else {
        image = readExtracted(member);
        // A run that failed or was cut off may have left a file half written.
        if (cacheable && !image.isNull()) {
            encoded = ThumbnailCache::encode(image);
        }
    }

    lock.lock();
    Picture& picture = pictures[index];
    picture.cached.clear();
    picture.image = image;
    picture.encoded = encoded;
    picture.done = true;
    lock.unlock();
    changed.notify_all();
}

QImage ContentPictures::take(const QString& memberPath)
{
    const int index = indexOf.value(memberPath, -1);
    if (index < 0) {
        return QImage();
    }
    std::unique_lock<std::mutex> lock(mutex);
    while (!pictures.at(index).done && busy) {
        startReading(index + readAhead);
        if (!pictures.at(index).done) {
            changed.wait_for(lock, pollTime);
        }
    }
    startReading(index + readAhead);
    Picture& picture = pictures[index];
    const QImage image = picture.image;
    picture.image = QImage();
    const QString placeholderName = picture.placeholder;
    lock.unlock();
    return image.isNull() ? placeholder(placeholderName) : image;
}

void ContentPictures::remember()
{
    QVector<ThumbnailCache::Entry> entries;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (Picture& picture : pictures) {
            if (!picture.encoded.isEmpty()) {
                entries.append({picture.member, picture.size, picture.encoded});
                picture.encoded.clear();
            }
        }
    }
    cache.store(package, entries);
}

QImage ContentPictures::readExtracted(const QString& member) const
{
    const QString file = QDir::cleanPath(batchDir + QLatin1Char('/') + member);
    // A member path with ".." segments must not lead to a file outside our folder.
    if (!file.startsWith(QDir::cleanPath(batchDir) + QLatin1Char('/'))) {
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
