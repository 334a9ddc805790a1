#ifndef CONTENTPICTURES_H
#define CONTENTPICTURES_H

#include "thumbnailcache.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class HZip;
struct FILE_IN_VAR;

/// The pictures of one inspection, read at thumbnail size on all cores: from the
/// thumbnail cache where it holds them, else taken out of the archive in a few 7-Zip
/// runs, the later ones running while the pictures of the earlier ones are read.
/// A picture that cannot be had shows its placeholder. An extracted file is deleted
/// as soon as its picture has been read. All work ends soon after `busy` is cleared.
class ContentPictures
{
public:
    ContentPictures(HZip* zip, const QString& archivePath, const QString& tempDir,
                    const QString& iconDir, const std::atomic_bool& busy);
    ~ContentPictures();
    ContentPictures(const ContentPictures&) = delete;
    ContentPictures& operator=(const ContentPictures&) = delete;

    /// Starts reading the picture of every member that the list shows as its own.
    void start(const QVector<FILE_IN_VAR>& records, bool showBigImg);
    /// The member's picture, waited for while `busy` holds; its placeholder when it
    /// cannot be had.
    QImage take(const QString& memberPath);
    /// A picture of the icon folder, such as "/json.jpg".
    QImage placeholder(const QString& name);
    /// Keeps the thumbnails read from the archive in the cache for the next time.
    void remember();

    /// A picture scaled to fit the list's icons, read at that size.
    static QImage readThumbnail(const QString& file);

private:
    struct Picture
    {
        QString member;
        qint64 size = 0;
        QString placeholder;
        QByteArray cached; // the thumbnail found in the cache, until it is read
        int run = -1;      // the 7-Zip run that extracts it; -1 when cached
        bool started = false;
        bool done = false;
        QImage image;       // until taken
        QByteArray encoded; // for the cache
    };
    enum RunState
    {
        Pending,
        Extracted,
        Failed,
    };

    void extract(const QVector<QStringList>& runs);
    void startReading(int end);
    void readQueued();
    void read(int index);
    QImage readExtracted(const QString& member) const;
    bool keepGoing() const;

    HZip* zip;
    QString archivePath;
    QString tempDir;
    QString iconDir;
    QString batchDir;
    const std::atomic_bool& busy;
    std::atomic_bool stopping{false};
    ThumbnailCache cache;
    ThumbnailCache::Package package;

    // Guards what the threads share with the inspection: the pictures, the runs and
    // the pictures whose reading may start. Standard locks, which thread checkers see.
    std::mutex mutex;
    std::condition_variable changed;
    QVector<Picture> pictures;
    QHash<QString, int> indexOf;
    QVector<RunState> runs;
    std::deque<int> queue;
    int firstUnstarted = 0;
    std::vector<std::thread> threads;

    QHash<QString, QImage> placeholders;
};

#endif // CONTENTPICTURES_H
