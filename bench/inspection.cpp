// Times the content list of one large package, selected in the real window:
// from the selection until the last item is in the list, the longest time the
// GUI thread was blocked meanwhile, and the peak memory; first with an empty
// thumbnail cache, then again after another package. Then a quick click-through: the
// package with an empty cache, another package selected at once after its last item,
// and the package again 1.5 s later, the revisit as a share of the first visit.
// Beside them, the same work
// done the former way: all pictures in one 7-Zip run or one run per picture,
// read one after another; and what 7-Zip alone takes to write all pictures, which the
// inspection now unpacks in process.
//   bench/inspection [pictures]      (default 300 pictures among 1,000 members)
#include "benchpackages.h"
#include "benchsupport.h"
#include "benchwindow.h"
#include "contentkind.h"
#include "contentpictures.h"
#include "hzip.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "testarchive.h"
#include "thumbnailcache.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

using Run = BenchWindow::Inspection;

void removeCache()
{
    for (const char* suffix : {"", "-wal", "-shm"}) {
        QFile::remove(ThumbnailCache::defaultFile() + suffix);
    }
}

// The pictures of the package that the list shows as their own.
QStringList picturesOf(const QVector<FILE_IN_VAR>& records)
{
    QStringList pictures;
    for (const FILE_IN_VAR& record : records) {
        if (ContentKind::of(record.filePath).fits(record.size, false)) {
            pictures << record.filePath;
        }
    }
    return pictures;
}

// 7-Zip alone writing every picture of the package in one run: what taking them out
// with 7-Zip would cost before a single one is read.
Run sevenZipAlone(const QString& package, const QString& scratch)
{
    HZip zip;
    QVector<FILE_IN_VAR> records;
    zip.PackFileList(package);
    zip.GetFileList(records, package);
    const QStringList pictures = picturesOf(records);
    const qint64 cpuBefore = cpuMillis();
    QElapsedTimer clock;
    clock.start();
    zip.ExtractFiles(package, pictures, scratch + "/alone");
    Run run;
    run.millis = clock.elapsed();
    run.cpuMillis = cpuMillis() - cpuBefore;
    QDir(scratch + "/alone").removeRecursively();
    return run;
}

// The same work as an inspection of the package done the former way, without the
// window: the listing, the package description, then the pictures taken out of the
// archive in one 7-Zip run or one run each, and read one after another.
Run formerWay(const QString& package, const QString& scratch, bool oneRun)
{
    const qint64 cpuBefore = cpuMillis();
    QElapsedTimer clock;
    clock.start();
    HZip zip;
    QVector<FILE_IN_VAR> records;
    zip.PackFileList(package);
    zip.GetFileList(records, package);
    QString meta;
    zip.ExtractAFile(package, "meta.json", scratch, meta);
    const QStringList pictures = picturesOf(records);
    const QString batch = scratch + "/batch";
    if (oneRun) {
        zip.ExtractFiles(package, pictures, batch);
    }
    for (const QString& member : qAsConst(pictures)) {
        QString file = batch + "/" + member;
        if (!oneRun) {
            zip.ExtractAFile(package, member, scratch, file);
        }
        ContentPictures::readThumbnail(file);
        QFile::remove(file);
    }
    Run run;
    run.millis = clock.elapsed();
    run.cpuMillis = cpuMillis() - cpuBefore;
    return run;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg) {
            QTextStream(stderr) << text << "\n";
        }
    });
    const int pictures = argc > 1 ? QString(argv[1]).toInt() : 300;
    const int members = qMax(1000, pictures * 2);

    QTemporaryDir dir;
    const QString package = dir.path() + "/Bench.LookPack.1.var";
    QTextStream out(stdout);
    out << "making a package of " << members << " members with " << pictures
        << " pictures of 512x512...\n";
    out.flush();
    const QMap<QString, QByteArray> content = BenchPackages::largePackage(pictures, members);
    const int items = BenchPackages::contentItems(content);
    if (!TestArchive::create(package, content)) {
        out << "7-Zip could not make the package\n";
        return 1;
    }
    out << "package size: " << QFileInfo(package).size() / 1024 << " KiB\n";

    // Another package, inspected between the two inspections of the large one.
    TestArchive::create(dir.path() + "/Bench.Other.1.var",
                        {{"meta.json", "{}"}, {"Saves/scene/Other.jpg", BenchPackages::photo(9)}});
    removeCache();
    openSettingsGroup("RecentVar")->setValue("Path1", dir.path());
    MainWindow window;
    auto* packages = window.findChild<QTableWidget*>("tableWidget_Var");
    auto* contents = window.findChild<QListWidget*>("listWidget_InVar");
    auto* progress = window.findChild<QProgressBar*>("progressBar");
    window.findChild<QPushButton*>("pushButton_ListVar")->click();
    while (packages->item(1, 5) == nullptr) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const Run first = BenchWindow::inspectRow(packages, contents, progress, 0, members, items);
    BenchWindow::inspectRow(packages, contents, progress, 1, 2, 1);
    const Run second = BenchWindow::inspectRow(packages, contents, progress, 0, members, items);
    BenchWindow::inspectRow(packages, contents, progress, 1, 2, 1);
    removeCache();
    const Run quickFirst = BenchWindow::inspectRow(packages, contents, progress, 0, members, items, 0);
    packages->selectRow(1);
    BenchWindow::processEventsFor(app, 1500);
    const Run revisit = BenchWindow::inspectRow(packages, contents, progress, 0, members, items);

    // The former ways come last: the files that they make and remove keep the disk busy
    // for seconds after, which the inspections, making none, would pay for otherwise.
    QTemporaryDir scratch;
    const Run oneRun = formerWay(package, scratch.path(), true);
    const Run eachRun = formerWay(package, scratch.path(), false);
    const Run alone = sevenZipAlone(package, scratch.path());

    // The former way costs the same at every inspection of a package.
    const auto figures = [](const Run& run) {
        return QString("%1 ms (CPU %2 ms)").arg(run.millis, 5).arg(run.cpuMillis, 5);
    };
    out << "until the last item             now                       former way: one "
           "7-Zip run per inspection, no window\n"
        << "  first inspection              " << figures(first) << "    " << figures(oneRun) << "\n"
        << "  again, after another package  " << figures(second) << "    " << figures(oneRun)
        << "\n"
        << "one 7-Zip run per picture, no window: " << figures(eachRun) << "\n"
        << "7-Zip alone writing all pictures in one run: " << figures(alone) << "\n"
        << "quick click-through: first visit " << figures(quickFirst)
        << ", back after 1.5 s " << figures(revisit) << ", "
        << QString::number(double(revisit.millis) / qMax<qint64>(1, quickFirst.millis), 'f', 2)
        << " x the first\n"
        << "items: " << first.items << " and " << second.items << "\n"
        << "GUI thread blocked at most: " << first.longestBlockMillis << " ms and "
        << second.longestBlockMillis << " ms\n";
    out << "peak RSS: " << peakRssMiB() << " MiB\n";
    return 0;
}
