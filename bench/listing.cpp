// Lists a folder of N package files in the real window, headless, and prints how
// long the scan, the row fill and header sorts take, the peak memory, and how the
// listing's ordering compares with inserting records one by one.
//
//   build/bench/listing [N] [--no-reference]     (N defaults to 30000)
//
// The one-by-one insertion takes about half a minute for 30000 packages;
// --no-reference leaves it out.

#include "benchsupport.h"
#include "mainwindow.h"
#include "packagefiles.h"
#include "referenceinsertion.h"
#include "settingsstore.h"
#include "threadman.h"
#include "varfile.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
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

// Emits a header click as the user's mouse would and waits until the table is idle.
double clickHeader(QApplication& app, QHeaderView* header, int column)
{
    QElapsedTimer clock;
    clock.start();
    emit header->sectionClicked(column);
    app.processEvents();
    return double(clock.nsecsElapsed()) / 1e6;
}

void compareWithReference(const QString& root)
{
    threadMan scanner;
    scanner.busy = true;
    scanner.scanDir(root);
    const QVector<varFile*> scanned = scanner.files;

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
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool withReference = !arguments.removeAll(QStringLiteral("--no-reference"));
    const int count = arguments.isEmpty() ? 30000 : arguments.first().toInt();
    if (count <= 0 || arguments.size() > 1) {
        std::fprintf(stderr, "usage: listing [package count] [--no-reference]\n");
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
    std::printf("listing of %d rows: scan %.0f ms, fill %.0f ms, total %.0f ms\n",
                table->rowCount(), double(rowsAt) / 1e6, double(sortedAt - rowsAt) / 1e6,
                double(sortedAt) / 1e6);
    std::printf("peak RSS %lld MiB (%lld MiB before the listing)\n", peakRssMiB(), rssBefore);

    const double sizeUp = clickHeader(app, header, 3);
    const double sizeDown = clickHeader(app, header, 3);
    const double time = clickHeader(app, header, 4);
    const double name = clickHeader(app, header, 1);
    std::printf("header sort: MB %.0f ms, MB again %.0f ms, Time %.0f ms, FileName %.0f ms\n",
                sizeUp, sizeDown, time, name);

    if (withReference) {
        compareWithReference(root);
    }
    return 0;
}
