// Times how long the window waits for a stopped inspection while 7-Zip runs: the
// click on another package and the closing of the window, each with a 7-Zip that
// would take a minute (a script that sleeps). Prints the longest of several tries
// on standard output (the program's debug lines go to standard error).
//   bench/stop [tries]      (default 5)
#include "mainwindow.h"
#include "packagefiles.h"
#include "settingsstore.h"
#include "testfiles.h"

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

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int tries = argc > 1 ? qMax(1, QString(argv[1]).toInt()) : 5;

    QTemporaryDir dir;
    const QString started = dir.filePath("started");
    TestFiles::writeScript(dir.filePath("slow 7z"),
                           "touch '" + started.toUtf8() + "'\nexec sleep 60");
    const auto sevenZip = TestFiles::scopedEnvironment("DOVETALK_7Z", dir.filePath("slow 7z"));
    PackageFiles::create(dir.filePath("packages/A.One.1.var"), 0);
    PackageFiles::create(dir.filePath("packages/B.Two.1.var"), 0);
    openSettingsGroup("RecentVar")->setValue("Path1", dir.filePath("packages"));

    qint64 selection = 0;
    qint64 closing = 0;
    for (int i = 0; i < tries; ++i) {
        auto window = std::make_unique<MainWindow>();
        auto* packages = window->findChild<QTableWidget*>("tableWidget_Var");
        window->findChild<QPushButton*>("pushButton_ListVar")->click();
        waitFor([packages] { return packages->rowCount() == 2 && packages->item(1, 5); });
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
    QTextStream(stdout) << "longest of " << tries << " tries, while 7-Zip runs:\n"
                        << "  a click on another package blocked the window " << selection
                        << " ms\n"
                        << "  closing the window took " << closing << " ms\n";
    return 0;
}
