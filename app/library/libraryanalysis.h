#ifndef LIBRARYANALYSIS_H
#define LIBRARYANALYSIS_H

#include "libraryqueries.h"
#include "libraryspace.h"

#include <QFutureWatcher>
#include <QObject>

#include <memory>

class LibraryIndex;

/// What the library-wide questions answer for one catalog.
struct LibraryFindings
{
    std::shared_ptr<const LibraryCatalog> catalog;
    QVector<MissingDependency> missing; ///< both absent ones and those present in another version
    /// What declarations and content together lack: the removal question's base.
    QVector<MissingDependency> missingInUse;
    QVector<ContentMismatch> undeclared;
    QVector<OldVersion> oldVersions;
    QVector<BrokenPackage> broken;
    QVector<DuplicateFile> duplicates;
    LibrarySpace space;

    /// The dependencies absent in every version.
    int absentCount() const;

    static LibraryFindings of(std::shared_ptr<const LibraryCatalog> catalog);
};

/// The line shown where the library index is asked for before it is ready.
QString indexNotReadyNote();

/// Answers the library-wide questions off the GUI thread each time the index has a
/// new catalog: on a large library they take longer than a frame.
class LibraryAnalysis : public QObject
{
    Q_OBJECT
public:
    explicit LibraryAnalysis(LibraryIndex* index, QObject* parent = nullptr);
    /// Waits for a running analysis, which the queries' speed bounds.
    ~LibraryAnalysis() override;

    /// The findings for the index's latest catalog once analysed, else those of the
    /// catalog before it; null while the index has no catalog of its current folder.
    std::shared_ptr<const LibraryFindings> findings() const;

signals:
    void updated();

private:
    void analyse();
    void analysed();

    LibraryIndex* index;
    QFutureWatcher<std::shared_ptr<const LibraryFindings>> watcher;
    // A catalog that came while another was analysed: taken up when that one ends.
    bool outdated = false;
    std::shared_ptr<const LibraryFindings> latest;
    QString latestFolder;
    QString runningFolder;
};

#endif // LIBRARYANALYSIS_H
