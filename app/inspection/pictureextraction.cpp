#include "pictureextraction.h"

#include "contentkind.h"
#include "hzip.h"
#include "picturestages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// What 7-Zip may write into the scratch folder for one inspection, all pictures
// together: a package must not fill the disk.
const qint64 maxExtractedTotal = qint64(1024) * 1024 * 1024;
// Files of the extraction looked at beyond the last one known to be begun: 7-Zip may
// have skipped a few that it could not write.
const int lookAhead = 16;

} // namespace

PictureExtraction::PictureExtraction(const QString& archivePath, const QString& folder)
    : archivePath(archivePath), folder(folder)
{
}

PictureExtraction::~PictureExtraction()
{
    QDir(folder).removeRecursively();
}

void PictureExtraction::add(int index, const QString& member, bool twice)
{
    members << member;
    order << index;
    files << fileOf(member);
    writtenTwice << twice;
}

void PictureExtraction::run(PictureStages& stages)
{
    // An archive reader of this thread's own.
    HZip zip;
    extracted = zip.ExtractFiles(archivePath, members, folder, [&] { return watch(stages); });
    written = files.size();
    stages.makeReady(order);
}

bool PictureExtraction::watch(PictureStages& stages)
{
    // 7-Zip writes one file after another: once it has begun a file, every file
    // before it is whole.
    int begunEnd = written;
    const int end = qMin(files.size(), written + 1 + lookAhead);
    for (int next = written + 1; next < end; ++next) {
        const QFileInfo file(files.at(next));
        if (file.exists() || file.isSymLink()) {
            begunEnd = next;
        }
    }
    if (begunEnd > written) {
        QVector<int> whole;
        for (int position = written; position < begunEnd; ++position) {
            writtenBytes += QFileInfo(files.at(position)).size();
            if (!writtenTwice.at(position)) {
                whole << order.at(position);
            }
        }
        stages.makeReady(whole);
        written = begunEnd;
    }
    // The file being written counts too: 7-Zip is ended once a picture grows past what
    // any may hold, or all past what an inspection may write, whatever the archive
    // states. The file cut short goes, so that it is not read.
    const QString current = files.value(written);
    const qint64 currentBytes = current.isEmpty() ? 0 : QFileInfo(current).size();
    if (currentBytes > ContentKind::maxExtractedSize ||
        writtenBytes + currentBytes > maxExtractedTotal) {
        QFile::remove(current);
        return false;
    }
    return !stages.stopped();
}

QString PictureExtraction::fileOf(const QString& member) const
{
    const QString file = QDir::cleanPath(folder + QLatin1Char('/') + member);
    // A member path with ".." segments must not lead to a file outside our folder.
    return file.startsWith(QDir::cleanPath(folder) + QLatin1Char('/')) ? file : QString();
}
