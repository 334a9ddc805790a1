#include "libraryanalysis.h"

#include "libraryindex.h"

#include <QtConcurrent>

#include <algorithm>

QString indexNotReadyNote()
{
    return QStringLiteral("The library index is not ready yet: it is read after each listing.");
}

int LibraryFindings::absentCount() const
{
    return int(std::count_if(missing.cbegin(), missing.cend(),
                             [](const MissingDependency& entry) { return !entry.otherVersion; }));
}

LibraryFindings LibraryFindings::of(std::shared_ptr<const LibraryCatalog> catalog)
{
    LibraryFindings findings;
    findings.missing = LibraryQueries::missing(*catalog);
    findings.missingInUse = LibraryQueries::missing(*catalog, DependencySource::Both);
    findings.undeclared = LibraryQueries::undeclared(*catalog);
    // An old version that a scene uses is no space to reclaim.
    findings.oldVersions = LibraryQueries::oldVersions(*catalog, DependencySource::Both);
    findings.broken = LibraryQueries::broken(*catalog);
    findings.duplicates = LibraryQueries::duplicates(*catalog);
    findings.space = LibrarySpace::of(*catalog, findings.oldVersions, findings.duplicates, findings.broken);
    findings.catalog = std::move(catalog);
    return findings;
}

LibraryAnalysis::LibraryAnalysis(LibraryIndex* index, QObject* parent)
    : QObject(parent), index(index)
{
    connect(index, &LibraryIndex::ready, this, &LibraryAnalysis::analyse);
    connect(&watcher, &QFutureWatcherBase::finished, this, &LibraryAnalysis::analysed);
}

LibraryAnalysis::~LibraryAnalysis()
{
    watcher.waitForFinished();
}

std::shared_ptr<const LibraryFindings> LibraryAnalysis::findings() const
{
    const bool current = index->isReady() && latestFolder == index->folder();
    return current ? latest : nullptr;
}

void LibraryAnalysis::analyse()
{
    // Until the folder has been read once, its catalog knows names only.
    if (!index->isReady()) {
        return;
    }
    if (watcher.isRunning()) {
        outdated = true;
        return;
    }
    outdated = false;
    const std::shared_ptr<const LibraryCatalog> catalog = index->catalog();
    // A refresh that found nothing changed hands back the same catalog: its findings stand.
    if (latest && latest->catalog == catalog && latestFolder == index->folder()) {
        emit updated();
        return;
    }
    runningFolder = index->folder();
    watcher.setFuture(QtConcurrent::run([catalog] {
        return std::make_shared<const LibraryFindings>(LibraryFindings::of(catalog));
    }));
}

void LibraryAnalysis::analysed()
{
    latest = watcher.result();
    latestFolder = runningFolder;
    if (outdated) {
        analyse();
    }
    emit updated();
}
