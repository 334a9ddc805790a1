#include "threadman.h"

#include "contentfeed.h"
#include "contentkind.h"
#include "contentpictures.h"
#include "datafiles.h"
#include "folderwalk.h"
#include "hvamjson.h"
#include "hvarlistitem.h"
#include "hzip.h"
#include "libraryscan.h"
#include "memberindex.h"
#include "packagemover.h"
#include "scratchdir.h"
#include "varfile.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTableWidget>
#include <QTableWidgetItem>

#include <algorithm>

namespace {

// The shortest time between two values of the progress bar, about a frame of the screen.
const qint64 progressFrameMs = 16;

// The listed folder as the scan walks it: separators unified, no trailing slash, so
// that the relative folder of a package always starts with a slash.
QString listingRoot(const QString& folder)
{
    return QDir::cleanPath(folder);
}

} // namespace

threadMan::threadMan() : scratch(scratchDirectory(QStringLiteral("~tmp2")))
{
    qRegisterMetaType<QTableWidgetItem*>("QTableWidgetItem*");
    qRegisterMetaType<QTableWidget*>("QTableWidget*");
    // A selection is cleared before its rows go, so that their removal is not taken
    // for the user's choice of a package, which would stop this very listing.
    connect(this, &threadMan::tableRowCount, this, [](QTableWidget* target, int count) {
        target->clearSelection();
        target->setRowCount(count);
    });
    tempDir = scratch.path();
}

threadMan::~threadMan()
{
    stopJob();
    finishPictures(closeGraceMs);
    clearFiles();
}

void threadMan::startJob()
{
    // Raised here rather than in run(), so that a stop asked for before the new
    // thread reaches its first step is not lost.
    busy = true;
    start(QThread::InheritPriority);
}

void threadMan::startListing(const QString& folder, QTableWidget* packages,
                             std::shared_ptr<const LibraryCatalog> library)
{
    if (isRunning()) {
        return;
    }
    mode = 0;
    path = folder;
    table = packages;
    this->library = std::move(library);
    startJob();
}

void threadMan::startInspection(const QString& archivePath, QTableWidget* dependencies,
                                QListWidget* contents,
                                std::shared_ptr<const LibraryCatalog> library, bool showBigImages)
{
    if (isRunning()) {
        return;
    }
    mode = 1;
    path = archivePath;
    table = dependencies;
    list = contents;
    this->library = std::move(library);
    showBigImg = showBigImages;
    startJob();
}

void threadMan::requestStop()
{
    // An exchange, where a store could hide the job's own clearing of busy from a
    // reading that follows.
    busy.exchange(false);
}

void threadMan::stopJob()
{
    if (isRunning()) {
        requestStop();
        wait();
    }
    // The job's last step clears busy; reading it orders all the job did before what
    // the caller does next, also where the thread has ended on its own.
    busy.load(std::memory_order_acquire);
}

bool threadMan::jobRunning() const
{
    if (isRunning()) {
        return true;
    }
    // The last job's final step cleared busy: reading it puts all that job did in view.
    busy.load(std::memory_order_acquire);
    return false;
}

void threadMan::run()
{
    switch (mode) {
    case 0:
        listVarFiles(QString(path));
        break;
    case 1:
        inspectPackage(QString(path));
        break;
    default:
        break;
    }
    busy = false;
}

void threadMan::finishPictures(int graceMs)
{
    pictureRelease.finish(graceMs);
}

void threadMan::clearTempDir()
{
    // Past inspections may still be writing into the folder.
    finishPictures(closeGraceMs);
    scratch.clear();
}

QString threadMan::filePathAt(int index) const
{
    // A listing rebuilds the records: nothing may read them meanwhile.
    if (listingRunning()) {
        return QString();
    }
    if (index < 0 || index >= files.size()) {
        return QString();
    }
    return files.at(index)->getFullPath();
}

void threadMan::clearFiles()
{
    qDeleteAll(files);
    files.clear();
}

void threadMan::setTableRowCount(int count)
{
    // Widgets belong to the GUI thread; a queued signal keeps the order of the signals
    // that follow it, and Qt copies what it carries.
    emit tableRowCount(table, count);
}

void threadMan::listVarFiles(const QString& folder)
{
    if (folder.isEmpty()) {
        return;
    }
    clearFiles();
    listed.reset();
    setTableRowCount(0);
    scanDir(listingRoot(folder));
    varFile::sortByName(files);
    // A listing stopped during the scan leaves the table without rows.
    if (!busy) {
        return;
    }
    // The library's model of the folder, from the same walk, is there before any row:
    // a click on the first one asks it which dependencies are present.
    listed = LibraryScan::described(std::move(walked), library.get());
    walked.clear();
    fillVarTable();
}

void threadMan::scanDir(const QString& folder)
{
    walked = FolderWalk::packages(folder, [this] { return !busy; });
    files.reserve(files.size() + walked.size());
    for (const IndexedPackage& package : qAsConst(walked)) {
        files.append(new varFile(package));
    }
}

void threadMan::fillVarTable()
{
    const int n = files.size();
    if (n == 0) {
        return;
    }
    setTableRowCount(n);
    const QString root = listingRoot(path);
    const int r = root.endsWith(QLatin1Char('/')) ? root.length() - 1 : root.length();
    emit setProg(0, n - 1);
    const QColor duplicateColor(255, 128, 128, 255);
    for (int i = 0; i < n; ++i) {
        if (!busy) {
            return;
        }
        const varFile* f = files.at(i);
        const QString fileName = f->getFileName();

        auto* check = new QTableWidgetItem();
        check->setData(Qt::UserRole, i);
        check->setCheckState(Qt::Unchecked);
        emit fillTable(0, i, 0, check);

        auto* nameCell = new QTableWidgetItem(fileName);
        nameCell->setData(Qt::UserRole, i);
        if (f->duplicate) {
            nameCell->setData(Qt::BackgroundRole, duplicateColor);
        }
        emit fillTable(0, i, 1, nameCell);

        QString shortName = fileName;
        const int lastDot = shortName.lastIndexOf(QLatin1Char('.'));
        if (lastDot > 0) {
            shortName = shortName.left(lastDot);
        }
        const int firstDot = shortName.indexOf(QLatin1Char('.'));
        if (firstDot > 0) {
            shortName = shortName.mid(firstDot + 1);
        }
        auto* shortCell = new QTableWidgetItem(shortName);
        shortCell->setData(Qt::UserRole, i);
        if (f->duplicate) {
            shortCell->setData(Qt::BackgroundRole, duplicateColor);
        }
        emit fillTable(0, i, 2, shortCell);

        const double mebibytes = double(f->getFileSize()) * 0.0009765625 * 0.0009765625;
        auto* sizeCell = new HVarListItem(QString::asprintf("%.02lf", mebibytes));
        sizeCell->setData(Qt::UserRole, i);
        sizeCell->setTextAlignment(Qt::AlignRight);
        emit fillTable(0, i, 3, sizeCell);

        auto* timeCell = new HVarListItem(f->getTimeString());
        timeCell->setData(Qt::UserRole, i);
        timeCell->setTextAlignment(Qt::AlignRight);
        emit fillTable(0, i, 4, timeCell);

        const QString fullPath = f->getFullPath();
        auto* folderCell =
            new QTableWidgetItem(fullPath.mid(r, fullPath.length() - r - fileName.length()));
        folderCell->setData(Qt::UserRole, i);
        emit fillTable(0, i, 5, folderCell);

        emit setProg(i, 0);
    }
    emit initTableSort();
}

void threadMan::inspectPackage(const QString& archivePath)
{
    zip = new HZip(nullptr);
    // A stop request ends the 7-Zip run in progress instead of waiting for it.
    zip->setStopCheck([this] { return busy.load(); });
    if (!archivePath.isEmpty()) {
        // One listing serves both stages: the description's size is known before
        // anything is extracted.
        QVector<FILE_IN_VAR> records;
        auto pictures = std::make_unique<ContentPictures>(
            archivePath, tempDir, dataFilePath(QStringLiteral("img")), showBigImg, busy);
        zip->PackFileList(archivePath);
        // The thumbnail cache and the first pictures are read while 7-Zip lists the archive.
        pictures->lookUp();
        zip->GetFileList(records, archivePath);
        if (busy) {
            // The pictures are read while the description is.
            pictures->start(records);
            checkDependencies(archivePath, records);
            listVarContents(records, *pictures);
        }
        // Neither a stop nor the next inspection waits for the readers, nor for the
        // thumbnails to be stored, finished or stopped.
        pictureRelease.release(std::move(pictures));
    }
    delete zip;
    zip = nullptr;
}

void threadMan::checkDependencies(const QString& archivePath, const QVector<FILE_IN_VAR>& records)
{
    qDebug() << archivePath;
    // An archive may list a name twice, and 7-Zip would extract every copy.
    qint64 metaSize = -1;
    for (const FILE_IN_VAR& record : records) {
        if (record.filePath == QLatin1String("meta.json")) {
            metaSize = qMax(metaSize, record.size);
        }
    }
    if (metaSize > maxMetaSize) {
        qDebug() << "meta.json not read: listed with" << metaSize << "bytes";
        setTableRowCount(0);
        return;
    }
    // A package without a meta.json must not show the previous package's dependencies.
    QString outFile = tempDir + QStringLiteral("/meta.json");
    QFile::remove(outFile);
    if (metaSize >= 0) {
        zip->ExtractAFile(archivePath, QStringLiteral("meta.json"), tempDir, outFile);
    }

    HVamJson meta;
    if (!meta.Load(outFile)) {
        qDebug() << QStringLiteral("failed! error open file : ") + outFile;
        setTableRowCount(0);
        return;
    }
    setTableRowCount(0);
    QStringList dependencies;
    meta.getDependencies(dependencies);
    const int n = dependencies.size() / 2;
    setTableRowCount(n);
    if (n < 1 || !busy) {
        return;
    }
    for (int r = 0; r < n; ++r) {
        const QString name = dependencies.at(2 * r);
        emit fillTable(1, r, 0, new QTableWidgetItem(name));
        if (library && library->presence(name).state == Presence::Present) {
            auto* tick = new QTableWidgetItem(QStringLiteral("\u221A"));
            tick->setTextAlignment(Qt::AlignCenter);
            emit fillTable(1, r, 1, tick);
        }
        emit fillTable(1, r, 2, new QTableWidgetItem(dependencies.at(2 * r + 1)));
        if (!busy) {
            return;
        }
    }
}

void threadMan::listVarContents(QVector<FILE_IN_VAR>& records, ContentPictures& pictures)
{
    ContentFeed feed(list);
    const int n = records.size();
    if (n < 1) {
        // Not even the previous package's items may stay in view.
        feed.clear();
        return;
    }
    emit setProg(0, 2 * n - 1);
    feed.clear();
    const MemberIndex byPath(records);
    // The bar paints itself at once on every visible change: a value is sent once a
    // frame at most, the first and last of each pass and a stop always are.
    QElapsedTimer sinceProgress;
    sinceProgress.start();

    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < n; ++i) {
            const bool stopped = !busy;
            if (stopped || i == 0 || i == n - 1 || sinceProgress.elapsed() >= progressFrameMs) {
                emit setProg(pass * n + i, 0);
                sinceProgress.restart();
            }
            if (stopped) {
                break;
            }
            FILE_IN_VAR& record = records[i];
            if (pass == 1 && record.mark == 1) {
                continue;
            }
            const QString& name = record.filePath;
            if (name == QLatin1String("meta.json")) {
                continue;
            }
            const ContentKind kind = ContentKind::of(name);
            if (kind.type == ContentKind::Document && pass == 0) {
                continue;
            }
            QImage picture;
            if (kind.fits(record.size, showBigImg)) {
                picture = pictures.take(name, [&feed] { feed.sendIfDue(); });
            } else {
                picture = pictures.placeholder(kind.placeholder);
            }
            QString label = name;
            if (kind.categorised) {
                const int category = ContentKind::categoryOf(name);
                if (category >= 0) {
                    const QString base = name.left(name.lastIndexOf(QLatin1Char('.')) + 1);
                    label = ContentKind::categoryLabel(category) + base;
                    byPath.markCompanions(records, base, busy);
                }
            }
            feed.append(picture, label);
            record.mark = 1;
        }
    }
    feed.send();
}

bool threadMan::moveOrDeleteItems(QList<QTableWidgetItem*> items, int actionMode, QString destPath)
{
    const QColor color = actionMode != 0 ? QColor(100, 200, 100, 255) : QColor(128, 128, 128, 255);
    if (items.isEmpty()) {
        return false;
    }
    if (listingRunning()) {
        qDebug() << "moveOrDeleteItems: refused while a listing runs";
        return false;
    }
    QVector<const varFile*> packages;
    QVector<int> rows;
    for (QTableWidgetItem* item : items) {
        bool valid = false;
        const int index = item->data(Qt::UserRole).toInt(&valid);
        if (!valid || index < 0 || index >= files.size()) {
            qDebug() << "moveOrDeleteItems: no package at" << item->data(Qt::UserRole);
            continue;
        }
        packages.append(files.at(index));
        rows.append(item->row());
    }
    const QVector<bool> done =
        PackageMover(items.first()->tableWidget()->window()).run(packages, actionMode, destPath);
    bool result = false;
    for (int i = 0; i < done.size(); ++i) {
        if (done.at(i)) {
            emit fileTableItemColor(rows.at(i), color);
            result = true;
        }
    }
    return result;
}
