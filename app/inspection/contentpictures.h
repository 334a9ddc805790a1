// Part "inspection": what one package holds, its member index, content kinds, the
// pictures read from it, their thumbnail cache and the feed into the content list.
// Uses Qt and Dovetalk only; knows nothing of the library engine or the window.
#ifndef CONTENTPICTURES_H
#define CONTENTPICTURES_H

#include "hvararchive.h"
#include "picturestages.h"
#include "thumbnailcache.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class PictureExtraction;
class QImageReader;
struct FILE_IN_VAR;

/// The pictures of one inspection, read at thumbnail size on all cores: from the
/// thumbnail cache where it holds them, else unpacked from the archive in process.
/// Those that the in-process reader refuses (such as a name the archive holds twice)
/// are taken out in one 7-Zip run of their own, each read as soon as 7-Zip has
/// written it and deleted once read. A picture that cannot be had shows its
/// placeholder. Each picture's stage is kept by PictureStages, which says how soon
/// reading ends after `busy` is cleared or stop() is called.
class ContentPictures
{
public:
    ContentPictures(const QString& archivePath, const QString& tempDir, const QString& iconDir,
                    bool showBigImg, const std::atomic_bool& busy);
    ~ContentPictures();
    ContentPictures(const ContentPictures&) = delete;
    ContentPictures& operator=(const ContentPictures&) = delete;

    /// Looks the package up in the thumbnail cache, and starts reading the first
    /// thumbnails found and the first pictures of the archive; the package need not be
    /// listed yet.
    void lookUp();
    /// After lookUp(): starts reading the picture of every member that the list shows
    /// as its own, from the cache where lookUp() found it.
    void start(const QVector<FILE_IN_VAR>& records);
    /// The member's picture, waited for while `busy` holds, with `whileWaiting` called
    /// now and then meanwhile; its placeholder when it cannot be had.
    QImage take(const QString& memberPath, const std::function<void()>& whileWaiting);
    /// A picture of the icon folder, such as "/json.jpg".
    QImage placeholder(const QString& name);
    /// Has the readers leave off; they end soon after, without being waited for.
    void stop();
    /// After stop(): waits for the readers to end, then keeps the thumbnails read from
    /// the archive in the cache for the next time (those of 7-Zip when its run had no
    /// error), and counts those found there as used; gives up what is left once
    /// `goOn` answers false. Any thread may call it.
    void remember(const std::function<bool()>& goOn);

    /// A picture scaled to fit the list's icons, read at that size.
    static QImage readThumbnail(const QString& file);

private:
    enum Source
    {
        Cache,
        InProcess,
        SevenZip,
    };
    // Written by start(); then, while it is Reading, by its reader only, and once it is
    // Done by whoever saw that.
    struct Picture
    {
        QString member;
        qint64 size = 0;
        QString placeholder;
        // The CRC-32 of the archive's directory; without one, no thumbnail is cached.
        bool hasCrc = false;
        quint32 crc = 0;
        Source source = Cache;
        QByteArray cached;  // the thumbnail found in the cache, until it is read
        QImage image;       // until taken
        QImage thumbnail;   // kept for the cache, encoded once the list is filled
        QByteArray encoded; // for the cache, where too many were kept
    };

    void runReader();
    void read(int index, HVarArchive& archive);
    QImage readInProcess(const QString& member, qint64 limit, HVarArchive& archive) const;
    static QImage readThumbnail(QImageReader& reader);
    QImage readExtracted(const QString& member) const;
    void encodeKept(const QVector<int>& indices, const std::function<bool()>& goOn);
    void joinThreads();

    QString archivePath;
    QString tempDir;
    QString iconDir;
    bool showBigImg;
    PictureStages stages;
    std::atomic_int kept{0};
    ThumbnailCache::Package package;
    QHash<QString, ThumbnailCache::Entry> found;
    // The archive as the inspection's thread reads it, for the pictures' names before
    // the listing and to tell which pictures the in-process reader takes.
    HVarArchive directory;
    // Pictures read while 7-Zip lists the archive: thumbnails of `found` and pictures of
    // the archive's directory, each read by one reader into its place; start() takes
    // them once every reader has left them.
    struct Early
    {
        QString member;
        QByteArray cached; // the thumbnail found in the cache; empty: unpack the member
        qint64 limit;      // the largest member unpacked
        QImage image;
    };
    std::vector<Early> early;
    std::atomic_int nextEarly{0};
    QVector<Picture> pictures;
    QHash<QString, int> indexOf;
    // The pictures that 7-Zip takes out; none when the reader takes them all.
    std::unique_ptr<PictureExtraction> extraction;
    std::vector<std::thread> threads;

    QHash<QString, QImage> placeholders;
};

#endif // CONTENTPICTURES_H
