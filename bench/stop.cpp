// Times how long the window waits for a stopped inspection: the click on another
// package and the closing of the window while 7-Zip runs (a script standing in for a
// 7-Zip that would take a minute), and the click on another package while the
// pictures of a package are being read: 20 PNGs of 6,300 x 6,300 pixels, which are
// not decoded, and 20 of 2,048 x 2,048, the largest decoded whole. Prints the longest
// of several tries on standard output (the program's debug lines go to standard error).
//   bench/stop [tries]      (default 5)
#include "mainwindow.h"
#include "packagefiles.h"
#include "settingsstore.h"
#include "testarchive.h"
#include "testfiles.h"
#include "thumbnailcache.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>

#include <functional>
#include <memory>

namespace {

void waitFor(const std::function<bool()>& condition)
{
    while (!condition()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// A window listing `folder`, which holds two packages.
std::unique_ptr<MainWindow> listedWindow(const QString& folder, QTableWidget*& packages)
{
    openSettingsGroup("RecentVar")->setValue("Path1", folder);
    auto window = std::make_unique<MainWindow>();
    packages = window->findChild<QTableWidget*>("tableWidget_Var");
    window->findChild<QPushButton*>("pushButton_ListVar")->click();
    waitFor([packages] { return packages->rowCount() == 2 && packages->item(1, 5); });
    return window;
}

// The longest the window was blocked by a click on the second package, made 200 ms
// after the first was selected: while its pictures are read.
qint64 clickWhileReading(const QString& folder, int tries)
{
    QTableWidget* packages = nullptr;
    const auto window = listedWindow(folder, packages);
    qint64 longest = 0;
    for (int i = 0; i < tries; ++i) {
        // Every try reads the pictures from the package, none from the cache.
        for (const char* suffix : {"", "-wal", "-shm"}) {
            QFile::remove(ThumbnailCache::defaultFile() + suffix);
        }
        packages->selectRow(0);
        QElapsedTimer clock;
        clock.start();
        waitFor([&clock] { return clock.elapsed() >= 200; });
        clock.start();
        packages->selectRow(1);
        longest = qMax(longest, clock.elapsed());
        waitFor([&clock] { return clock.elapsed() >= 300; });
    }
    return longest;
}

// A package of 20 PNGs of one colour, `side` pixels square.
void picturePackage(const QString& path, int side)
{
    const QByteArray png = TestArchive::picture(side, side, "PNG");
    QMap<QString, QByteArray> members{{"meta.json", "{}"}};
    for (int i = 0; i < 20; ++i) {
        members.insert(QString("Custom/Images/%1.png").arg(i), png);
    }
    TestArchive::create(path, members);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int tries = argc > 1 ? qMax(1, QString(argv[1]).toInt()) : 5;
    QTemporaryDir dir;

    QTextStream out(stdout);
    for (const int side : {6300, 2048}) {
        const QString folder = dir.filePath(QString("pictures %1").arg(side));
        picturePackage(folder + "/A.Pictures.1.var", side);
        PackageFiles::create(folder + "/B.Other.1.var", 0);
        out << "longest of " << tries << " tries, a click while 20 PNGs of " << side << " x "
            << side << " pixels are read: the window blocked "
            << clickWhileReading(folder, tries) << " ms\n";
        out.flush();
    }

    const QString started = dir.filePath("started");
    TestFiles::writeScript(dir.filePath("slow 7z"),
                           "touch '" + started.toUtf8() + "'\nexec sleep 60");
    const auto sevenZip = TestFiles::scopedEnvironment("DOVETALK_7Z", dir.filePath("slow 7z"));
    PackageFiles::create(dir.filePath("packages/A.One.1.var"), 0);
    PackageFiles::create(dir.filePath("packages/B.Two.1.var"), 0);

    qint64 selection = 0;
    qint64 closing = 0;
    for (int i = 0; i < tries; ++i) {
        QTableWidget* packages = nullptr;
        auto window = listedWindow(dir.filePath("packages"), packages);
        packages->selectRow(0);
        waitFor([&started] { return QFile::exists(started); });
        QFile::remove(started);
        QElapsedTimer clock;
        clock.start();
        packages->selectRow(1);
        selection = qMax(selection, clock.elapsed());
        waitFor([&started] { return QFile::exists(started); });
        clock.start();
        window.reset();
        closing = qMax(closing, clock.elapsed());
    }
    out << "longest of " << tries << " tries, while 7-Zip runs:\n"
        << "  a click on another package blocked the window " << selection << " ms\n"
        << "  closing the window took " << closing << " ms\n";
    return 0;
}
