#ifndef THREADMAN_H
#define THREADMAN_H

#include "hvararchive.h"
#include "indexedpackage.h"
#include "instancescratch.h"
#include "picturerelease.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <atomic>
#include <memory>

class ContentPictures;
class HZip;
class LibraryCatalog;
struct FILE_IN_VAR;
class QImage;
class QListWidget;
class QTableWidget;
class QTableWidgetItem;
class varFile;

/// The one worker thread: runs a folder listing (mode 0) or a package inspection
/// (mode 1) and reports to the window only through its signals.
class threadMan : public QThread
{
    Q_OBJECT
public:
    threadMan();
    ~threadMan() override;

    /// Lists `folder` into `packages`, taking the descriptions of unchanged packages
    /// from `library`; does nothing while a job runs.
    void startListing(const QString& folder, QTableWidget* packages,
                      std::shared_ptr<const LibraryCatalog> library);
    /// Inspects the package at `archivePath`: its dependencies into `dependencies`, each
    /// looked up in `library`, its contents into `contents`; does nothing while a job runs.
    void startInspection(const QString& archivePath, QTableWidget* dependencies,
                         QListWidget* contents, std::shared_ptr<const LibraryCatalog> library,
                         bool showBigImages);
    /// Asks a running job to stop without waiting for it: it stops at its next check.
    /// Safe from any thread, the job's own included.
    void requestStop();
    /// Asks a running job to stop and waits until the thread has ended: within about
    /// 50 ms of an inspection, which leaves its picture readers to end without it.
    void stopJob();
    /// Whether a job runs; when not, everything the last job did is in view of the caller.
    bool jobRunning() const;
    /// Whether a listing runs, rebuilding `files`.
    bool listingRunning() const { return jobRunning() && mode == 0; }
    /// Whether a listing was started and has not ended: from its start on, before its
    /// thread runs too.
    bool listingUnderway() const { return mode == 0 && busy; }
    /// What the last listing found, as a catalog, handed over once; null when it was
    /// stopped, or while a job runs (a listing started since rebuilds it).
    std::shared_ptr<const LibraryCatalog> takeListed() { return jobRunning() ? nullptr : std::move(listed); }
    /// This instance's own folder inside "~tmp2".
    QString scratchFolder() const { return tempDir; }

    /// Waits up to `graceMs` for past inspections to store their thumbnails, then has
    /// them give up the rest; their readers end within one picture.
    void finishPictures(int graceMs);
    /// finishPictures(closeGraceMs), then empties this instance's scratch folder.
    void clearTempDir();

    /// How long closing gives past inspections to store their thumbnails.
    static constexpr int closeGraceMs = 100;
    QString filePathAt(int index) const;
    /// How many packages the last listing found; none while a listing rebuilds them.
    int packageCount() const { return listingRunning() ? 0 : int(files.size()); }

    /// A package description larger than this is not read: it would take as much disk
    /// and memory as its package asks for. The library index reads up to the same size.
    static constexpr qint64 maxMetaSize = HVarArchive::defaultLimit;

    /// Acts on the package of each item (mode 0 trash, 1 move into `destPath`) and
    /// colours the row of each one dealt with; true when at least one was. Runs on
    /// the GUI thread and refuses while a listing rebuilds `files`.
    bool moveOrDeleteItems(QList<QTableWidgetItem*> items, int actionMode, QString destPath);

signals:
    void fillTable(int table, int row, int column, QTableWidgetItem* item);
    void setProg(int pos1, int pos2);
    void fileTableItemColor(int row, QColor color);
    void initTableSort();
    /// The table's rows are to be `count`, placed on the GUI thread in the order sent.
    void tableRowCount(QTableWidget* table, int count);

protected:
    void run() override;

private:
    // Starts the job the fields describe; the caller has made sure that none runs.
    void startJob();
    void listVarFiles(const QString& folder);
    void scanDir(const QString& folder);
    void fillVarTable();
    void inspectPackage(const QString& archivePath);
    /// `records` is the archive's listing; the description is read only when it is
    /// listed at maxMetaSize bytes or less.
    void checkDependencies(const QString& archivePath, const QVector<FILE_IN_VAR>& records);
    /// Fills the content list with the members of `records`, with the pictures read
    /// by `pictures`, started on them.
    void listVarContents(QVector<FILE_IN_VAR>& records, ContentPictures& pictures);

    // What the job started last is to do.
    int mode = -1;
    // The folder listed, or the package inspected.
    QString path;
    QTableWidget* table = nullptr;
    QListWidget* list = nullptr;
    // Raised while a job runs; cleared by requestStop() to ask the job to stop.
    std::atomic_bool busy{false};
    bool showBigImg = false;
    HZip* zip = nullptr;
    QString tempDir;
    QVector<varFile*> files;
    /// The library as the window knows it: what a listing takes the descriptions of
    /// unchanged packages from, and what an inspection asks which dependencies are
    /// present.
    std::shared_ptr<const LibraryCatalog> library;
    std::shared_ptr<const LibraryCatalog> listed;

    InstanceScratch scratch;
    PictureRelease pictureRelease;

    void clearFiles();
    void setTableRowCount(int count);

    // The packages of the running listing's walk, until they are its catalog.
    QVector<IndexedPackage> walked;
};

#endif // THREADMAN_H
