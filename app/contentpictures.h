#ifndef CONTENTPICTURES_H
#define CONTENTPICTURES_H

#include <QHash>
#include <QImage>
#include <QString>
#include <QVector>

#include <atomic>

class HZip;
struct FILE_IN_VAR;

/// The pictures of one inspection, read at thumbnail size: members taken out of the
/// archive (all in one 7-Zip run, or one run each) and the placeholders of the
/// icon folder. An extracted file is deleted as soon as its picture has been read.
class ContentPictures
{
public:
    ContentPictures(HZip* zip, const QString& archivePath, const QString& tempDir,
                    const QString& iconDir);
    ~ContentPictures();
    ContentPictures(const ContentPictures&) = delete;
    ContentPictures& operator=(const ContentPictures&) = delete;

    /// Takes every picture that the list will show out of the archive in one run,
    /// into a folder of its own that keeps the member paths.
    void extractAll(const QVector<FILE_IN_VAR>& records, bool showBigImg,
                    const std::atomic_bool& busy);
    /// The member's picture; a null image when it could not be had.
    QImage take(const QString& memberPath);
    /// A picture of the icon folder, such as "/json.jpg".
    QImage placeholder(const QString& name);

    /// A picture scaled to fit the list's icons, read at that size.
    static QImage readThumbnail(const QString& file);

private:
    QString extractedPath(const QString& memberPath);

    HZip* zip;
    QString archivePath;
    QString tempDir;
    QString iconDir;
    QString batchDir;
    QHash<QString, QImage> placeholders;
};

#endif // CONTENTPICTURES_H
