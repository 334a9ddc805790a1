#ifndef PICTUREEXTRACTION_H
#define PICTUREEXTRACTION_H

#include <QString>
#include <QStringList>
#include <QVector>

class PictureStages;

/// The pictures of one inspection that the in-process reader refuses, taken out of the
/// archive in one 7-Zip run into a folder of their own. 7-Zip writes one file after
/// another, so a picture is Ready once 7-Zip has begun a later file; one whose file it
/// may write twice, once the run is over. The folder goes with this object.
class PictureExtraction
{
public:
    PictureExtraction(const QString& archivePath, const QString& folder);
    ~PictureExtraction();
    PictureExtraction(const PictureExtraction&) = delete;
    PictureExtraction& operator=(const PictureExtraction&) = delete;

    /// Before run(): the picture at `index` of the stages is `member`; `writtenTwice`
    /// when 7-Zip may write its file twice.
    void add(int index, const QString& member, bool writtenTwice);
    /// On a thread of its own: the 7-Zip run, which makes its pictures Ready in `stages`
    /// as they are written, and is ended once `stages` is stopped or the files grow past
    /// what an inspection may write.
    void run(PictureStages& stages);
    /// After run(): whether 7-Zip ended without error, so that its pictures are whole.
    bool succeeded() const { return extracted; }
    /// The file 7-Zip writes `member` to; empty where it would land outside the folder.
    QString fileOf(const QString& member) const;

private:
    bool watch(PictureStages& stages);

    QString archivePath;
    QString folder;
    QStringList members;
    // The pictures in 7-Zip's order: their stage indices, files and whether one may be
    // written twice; only run() reads them once it has begun.
    QVector<int> order;
    QStringList files;
    QVector<bool> writtenTwice;
    int written = 0;         // files written whole
    qint64 writtenBytes = 0; // their bytes
    bool extracted = false;
};

#endif // PICTUREEXTRACTION_H
