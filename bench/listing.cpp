// Lists a folder of N package files in the real window, headless, and prints how
// long the scan, the row fill and header sorts take, the peak memory, and how the
// listing's ordering compares with inserting records one by one. Then lists a library
// of N real packages with dependencies and prints how long the GUI thread is blocked
// while the library index reads it and while a filter is typed, and how long the
// library report takes to open.
//
//   build/bench/listing [N] [--no-reference] [--no-library]     (N defaults to 30000)
//
// The one-by-one insertion takes about half a minute for 30000 packages;
// --no-reference leaves it out.

#include "benchpackages.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "folderwalk.h"
#include "libraryanalysis.h"
#include "libraryindex.h"
#include "mainwindow.h"
#include "packagefiles.h"
#include "referenceinsertion.h"
#include "removalcheck.h"
#include "settingsstore.h"
#include "varfile.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double msSince(const QElapsedTimer& clock, qint64 startNs)
{
    return double(clock.nsecsElapsed() - startNs) / 1e6;
}

// N packages spread over author folders with sub-folders; about 2% are second
// copies of another package (same name and size) in another folder.
bool makePackages(const QString& root, int count)
{
    QRandomGenerator random(20240229);
    const QDateTime first(QDate(2019, 1, 1), QTime(0, 0));
    struct Package
    {
        QString name;
        qint64 size;
    };
    QVector<Package> made;
    made.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int author = random.bounded(qMax(1, count / 100));
        const QString folder =
            QString::asprintf("%s/Author%03d/set%d/", qPrintable(root), author, random.bounded(4));
        Package package;
        QString path = folder;
        if (!made.isEmpty() && random.bounded(100) < 2) {
            package = made.at(random.bounded(made.size()));
            path += QStringLiteral("copies/");
        } else {
            package.name =
                QString::asprintf("Author%03d.Look%05d.%d.var", author, i, 1 + random.bounded(12));
            package.size = qint64(random.bounded(1 << 20)) * random.bounded(1 << 12);
        }
        path += package.name;
        if (!PackageFiles::create(path, package.size,
                                  first.addSecs(random.bounded(5 * 365 * 24 * 3600)))) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(path));
            return false;
        }
        made.append(package);
    }
    return true;
}

void compareWithReference(const QString& root)
{
    // The records as a listing makes them from its walk.
    QVector<varFile*> scanned;
    for (const IndexedPackage& package : FolderWalk::packages(root, [] { return false; })) {
        scanned.append(new varFile(package));
    }

    QElapsedTimer clock;
    clock.start();
    QVector<varFile*> reference;
    for (varFile* file : scanned) {
        referenceInsert(reference, file);
    }
    const double referenceMs = double(clock.nsecsElapsed()) / 1e6;
    QVector<bool> referenceMarks;
    for (varFile* file : reference) {
        referenceMarks.append(file->duplicate);
        file->duplicate = false;
    }

    QVector<varFile*> ours = scanned;
    clock.restart();
    varFile::sortByName(ours);
    const double oursMs = double(clock.nsecsElapsed()) / 1e6;

    bool same = ours == reference;
    for (int i = 0; same && i < ours.size(); ++i) {
        same = ours.at(i)->duplicate == referenceMarks.at(i);
    }
    std::printf("ordering of %d records: one-by-one insertion %.1f ms, ours %.1f ms, "
                "%.0fx faster, same order and marks: %s\n",
                int(scanned.size()), referenceMs, oursMs, referenceMs / qMax(oursMs, 0.001),
                same ? "yes" : "NO");
    qDeleteAll(scanned);
}

// Types `text` into the filter one character every `pauseMs`, then waits for the
// table; returns the longest block of the GUI thread meanwhile.
QByteArray typeFilter(QApplication& app, QLineEdit* filter, const QString& text, int pauseMs)
{
    GuiBlockMeter meter;
    for (const QChar c : text) {
        filter->insert(QString(c));
        BenchWindow::processEventsFor(app, pauseMs);
    }
    BenchWindow::processEventsFor(app, 300);
    return meter.longestText();
}

void benchLibrary(QApplication& app, const QString& root, int count)
{
    QElapsedTimer clock;
    clock.start();
    if (BenchPackages::makeLibrary(root, count).isEmpty()) {
        return;
    }
    std::printf("created a library of %d packages in %.0f ms\n", count, msSince(clock, 0));
    openSettingsGroup(QStringLiteral("RecentVar"))->setValue(QStringLiteral("Path1"), root);

    MainWindow window;
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("tableWidget_Var"));
    auto* index = window.findChild<LibraryIndex*>();
    auto* analysis = window.findChild<LibraryAnalysis*>();
    window.findChild<QPushButton*>(QStringLiteral("pushButton_ListVar"))->click();
    while (!index->isRunning()) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    GuiBlockMeter meter;
    clock.restart();
    qint64 readyAt = -1;
    QObject::connect(index, &LibraryIndex::ready, [&] { readyAt = clock.elapsed(); });
    while (!analysis->findings()) {
        app.processEvents(QEventLoop::AllEvents, 5);
    }
    std::printf("index after the listing (cold): ready in %lld ms, summary after %lld ms, "
                "GUI thread blocked at most %s\n",
                readyAt, clock.elapsed(), meter.longestText().constData());

    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("lineEdit_Filter"));
    const QByteArray typedFast = typeFilter(app, filter, QStringLiteral("item00 7"), 60);
    int shown = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        shown += table->isRowHidden(row) ? 0 : 1;
    }
    filter->clear();
    BenchWindow::processEventsFor(app, 300);
    const QByteArray typedSlow = typeFilter(app, filter, QStringLiteral("item00 7"), 250);
    meter.reset();
    filter->clear();
    BenchWindow::processEventsFor(app, 300);
    std::printf("filter over %d rows (%d shown): GUI thread blocked at most %s typing a key "
                "every 60 ms, %s every 250 ms, %s clearing it\n",
                table->rowCount(), shown, typedFast.constData(), typedSlow.constData(),
                meter.longestText().constData());

    clock.restart();
    double cpu = threadCpuMs();
    window.findChild<QPushButton*>(QStringLiteral("pushButton_Library"))->click();
    app.processEvents();
    const std::shared_ptr<const LibraryFindings> findings = analysis->findings();
    std::printf("library report of %d packages (%d missing, %d old versions) open in %.0f ms "
                "(%.0f ms running)\n",
                findings->catalog->packages().size(), int(findings->missing.size()),
                int(findings->oldVersions.size()), msSince(clock, 0), threadCpuMs() - cpu);

    QSet<QString> old;
    for (const OldVersion& entry : findings->oldVersions) {
        old.insert(entry.path);
    }
    clock.restart();
    cpu = threadCpuMs();
    const QStringList losing =
        RemovalCheck::dependentsLosing(*findings->catalog, old, findings->missing);
    std::printf("confirmation for all %d old versions: %d packages would lose a dependency, "
                "found in %.0f ms (%.0f ms running)\n",
                old.size(), losing.size(), msSince(clock, 0), threadCpuMs() - cpu);
}

} // namespace

int main(int argc, char* argv[])
{
    const BenchHome home;
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool withReference = !arguments.removeAll(QStringLiteral("--no-reference"));
    const bool withLibrary = !arguments.removeAll(QStringLiteral("--no-library"));
    const int count = arguments.isEmpty() ? 30000 : arguments.first().toInt();
    if (count <= 0 || arguments.size() > 1) {
        std::fprintf(stderr, "usage: listing [package count] [--no-reference] [--no-library]\n");
        return 2;
    }

    QTemporaryDir temp;
    const QString root = temp.path() + QStringLiteral("/packages");
    QElapsedTimer clock;
    clock.start();
    if (!makePackages(root, count)) {
        return 1;
    }
    std::printf("created %d package files in %.0f ms\n", count, msSince(clock, 0));
    openSettingsGroup(QStringLiteral("RecentVar"))->setValue(QStringLiteral("Path1"), root);

    MainWindow window;
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("tableWidget_Var"));
    auto* list = window.findChild<QPushButton*>(QStringLiteral("pushButton_ListVar"));
    QHeaderView* header = table->horizontalHeader();
    app.processEvents();
    const qint64 rssBefore = peakRssMiB();

    qint64 rowsAt = -1;
    qint64 sortedAt = -1;
    QObject::connect(table->model(), &QAbstractItemModel::rowsInserted,
                     [&] { rowsAt = clock.nsecsElapsed(); });
    QObject::connect(header, &QHeaderView::sortIndicatorChanged, [&](int section) {
        if (section == 1) {
            sortedAt = clock.nsecsElapsed();
        }
    });
    header->setSortIndicator(0, Qt::DescendingOrder);

    clock.restart();
    list->click();
    while (sortedAt < 0 && clock.elapsed() < 600000) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (sortedAt < 0) {
        std::fprintf(stderr, "the listing did not end\n");
        return 1;
    }
    // The library index follows every listing; these figures are the table's own.
    auto* index = window.findChild<LibraryIndex*>();
    while (!index->isRunning()) {
        app.processEvents(QEventLoop::WaitForMoreEvents);
    }
    index->stop();
    std::printf("listing of %d rows: scan %.0f ms, fill %.0f ms, total %.0f ms\n",
                table->rowCount(), double(rowsAt) / 1e6, double(sortedAt - rowsAt) / 1e6,
                double(sortedAt) / 1e6);
    std::printf("peak RSS %lld MiB (%lld MiB before the listing)\n", peakRssMiB(), rssBefore);

    const double sizeUp = BenchWindow::clickHeader(app, header, 3);
    const double sizeDown = BenchWindow::clickHeader(app, header, 3);
    const double time = BenchWindow::clickHeader(app, header, 4);
    const double name = BenchWindow::clickHeader(app, header, 1);
    std::printf("header sort: MB %.0f ms, MB again %.0f ms, Time %.0f ms, FileName %.0f ms\n",
                sizeUp, sizeDown, time, name);

    if (withReference) {
        compareWithReference(root);
    }
    if (withLibrary) {
        benchLibrary(app, temp.path() + QStringLiteral("/library"), count);
        std::printf("peak RSS %lld MiB\n", peakRssMiB());
    }
    return 0;
}
