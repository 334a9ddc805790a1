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
#include "benchsupport.h"
#include "contentkind.h"
#include "contentpictures.h"
#include "hzip.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "testarchive.h"
#include "thumbnailcache.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

QByteArray photo(int seed)
{
    QImage image(512, 512, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed + 1));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random.bounded(40));
            line[x] = qRgb((x + seed * 7) % 256, (y + noise) % 256, (x + y + noise) % 256);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

// A package shaped like a large look pack: pictures of scenes, clothing, hair and
// presets with the files they stand for, topped up with sounds to `total` members.
QMap<QString, QByteArray> largePackage(int pictures, int total)
{
    QVector<QByteArray> photos;
    for (int i = 0; i < 8; ++i) {
        photos << photo(i);
    }
    QMap<QString, QByteArray> members{{"meta.json", "{\"dependencies\":{}}"}};
    for (int i = 0; i < pictures; ++i) {
        const QByteArray& jpg = photos.at(i % photos.size());
        QString base;
        QStringList companions;
        switch (i % 4) {
        case 0:
            base = QString("Saves/scene/Scene%1.").arg(i);
            companions = QStringList{"json"};
            break;
        case 1:
            base = QString("Custom/Clothing/Female/Maker/Item%1/Item%1.").arg(i);
            companions = QStringList{"vam", "vaj", "vab"};
            break;
        case 2:
            base = QString("Custom/Hair/Female/Maker/Hair%1.").arg(i);
            companions = QStringList{"vam", "vaj", "vab"};
            break;
        default:
            base = QString("Custom/Atom/Person/Appearance/Preset_Look%1.").arg(i);
            companions = QStringList{"vap"};
            break;
        }
        members.insert(base + "jpg", jpg);
        for (const QString& ext : companions) {
            if (members.size() < total) {
                members.insert(base + ext, "{}");
            }
        }
    }
    for (int i = 0; members.size() < total; ++i) {
        members.insert(QString("Custom/Sounds/Sound%1.wav").arg(i), QByteArray(2000, 's'));
    }
    return members;
}

void runFor(int ms);

struct Run
{
    qint64 millis = 0;
    qint64 cpuMillis = 0;
    qint64 longestBlockMillis = 0;
    int items = 0;
};

// Selects a row of the listed window and times its inspection until the last item;
// then lets the window run for `settleMs`.
Run inspectRow(QTableWidget* packages, QListWidget* contents, QProgressBar* progress, int row,
               int expectedMembers, int expectedItems, int settleMs = 1000)
{
    Run run;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        run.longestBlockMillis = qMax(run.longestBlockMillis, sinceTick.restart());
    });
    const qint64 cpuBefore = cpuMillis();
    clock.start();
    sinceTick.start();
    ticker.start();
    packages->selectRow(row);
    const int last = 2 * expectedMembers - 1;
    while (progress->maximum() != last || progress->value() != last ||
           contents->count() != expectedItems) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    run.millis = clock.elapsed();
    run.items = contents->count();
    // The job keeps the thumbnails for the next time after its last item.
    runFor(settleMs);
    // All of the job's work, the 7-Zip runs included, without the time of waiting.
    run.cpuMillis = cpuMillis() - cpuBefore;
    return run;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

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
    const QMap<QString, QByteArray> content = largePackage(pictures, members);
    // Every member has an item but the documents: the description, and the files that
    // pictures stand for.
    const int items =
        content.size() -
        int(std::count_if(content.keyBegin(), content.keyEnd(), [](const QString& path) {
            return ContentKind::of(path).type == ContentKind::Document;
        }));
    if (!TestArchive::create(package, content)) {
        out << "7-Zip could not make the package\n";
        return 1;
    }
    out << "package size: " << QFileInfo(package).size() / 1024 << " KiB\n";

    // Another package, inspected between the two inspections of the large one.
    TestArchive::create(dir.path() + "/Bench.Other.1.var",
                        {{"meta.json", "{}"}, {"Saves/scene/Other.jpg", photo(9)}});
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
    const Run first = inspectRow(packages, contents, progress, 0, members, items);
    inspectRow(packages, contents, progress, 1, 2, 1);
    const Run second = inspectRow(packages, contents, progress, 0, members, items);
    inspectRow(packages, contents, progress, 1, 2, 1);
    removeCache();
    const Run quickFirst = inspectRow(packages, contents, progress, 0, members, items, 0);
    packages->selectRow(1);
    runFor(1500);
    const Run revisit = inspectRow(packages, contents, progress, 0, members, items);

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
