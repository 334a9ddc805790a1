#include "librarystatus.h"

#include "libraryanalysis.h"
#include "libraryindex.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QStatusBar>

namespace {

// Counts read the same on every machine: "12,345".
QString count(int n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

QString counted(int n, const QString& one, const QString& many)
{
    return count(n) + QLatin1Char(' ') + (n == 1 ? one : many);
}

} // namespace

LibraryStatus::LibraryStatus(QStatusBar* bar, LibraryIndex* index, LibraryAnalysis* analysis,
                             QObject* parent)
    : QObject(parent), index(index), analysis(analysis), text(new QLabel(bar)),
      progress(new QProgressBar(bar))
{
    text->setObjectName(QStringLiteral("label_Library"));
    progress->setObjectName(QStringLiteral("progressBar_Library"));
    progress->setMaximumWidth(160);
    progress->setTextVisible(false);
    progress->hide();
    bar->addPermanentWidget(text);
    bar->addPermanentWidget(progress);
    connect(index, &LibraryIndex::progress, this, &LibraryStatus::showProgress);
    connect(analysis, &LibraryAnalysis::updated, this, &LibraryStatus::showSummary);
}

QString LibraryStatus::summary(int packages, int missing, int old, int broken)
{
    return counted(packages, QStringLiteral("package"), QStringLiteral("packages")) +
           QStringLiteral(", ") +
           counted(missing, QStringLiteral("missing dependency"),
                   QStringLiteral("missing dependencies")) +
           QStringLiteral(", ") +
           counted(old, QStringLiteral("old version"), QStringLiteral("old versions")) +
           QStringLiteral(", ") +
           counted(broken, QStringLiteral("broken file"), QStringLiteral("broken files"));
}

void LibraryStatus::showProgress(int done, int total, bool content)
{
    // The content pass counts the collector's own files with the packages.
    text->setText((content ? QStringLiteral("Reading content %1 / %2 files")
                           : QStringLiteral("Indexing %1 / %2 packages"))
                      .arg(count(done), count(total)));
    progress->setRange(0, qMax(total, 1));
    progress->setValue(done);
    progress->show();
}

void LibraryStatus::showSummary()
{
    const std::shared_ptr<const LibraryFindings> findings = analysis->findings();
    // Findings of an earlier catalog must not cover the progress of the running work.
    if (!findings || index->isRunning()) {
        return;
    }
    progress->hide();
    text->setText(summary(findings->catalog->packages().size(), findings->absentCount(),
                          findings->oldVersions.size(), findings->broken.size()));
}
