// Opens the real window on the package folder of the stored settings and puts it on
// show for the README's pictures. Lists the folder and waits for the library index,
// then either (tools/library-screenshot.sh) types a filter, selects a package that
// others use, shows its "Used by" tab and opens the library report beside it, or
// (tools/window-screenshot.sh) selects the package of that file name, or
// (tools/library-screenshot.sh --space) opens the report's Space tab, clicks the
// largest creator and points at it. Stays open until it is closed.
//
//   librarytour [FILTER]
//   librarytour --package FILENAME
//   librarytour --space

#include "libraryanalysis.h"
#include "mainwindow.h"
#include "spacemap.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <functional>

namespace {

bool waitUntil(const std::function<bool()>& done, int ms = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Morrowquay"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillmark"));
    QApplication app(argc, argv);
    const QString words = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("hair");

    MainWindow window;
    window.show();
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("tableWidget_Var"));
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabWidget_Depend"));
    auto* analysis = window.findChild<LibraryAnalysis*>();
    window.findChild<QPushButton*>(QStringLiteral("pushButton_ListVar"))->click();
    if (!waitUntil([analysis] { return analysis->findings() != nullptr; })) {
        return 1;
    }

    if (words == QLatin1String("--package") && argc > 2) {
        const QList<QTableWidgetItem*> named =
            table->findItems(QString::fromLocal8Bit(argv[2]), Qt::MatchExactly);
        if (named.isEmpty()) {
            return 1;
        }
        table->setCurrentCell(named.first()->row(), 1);
        return app.exec();
    }

    if (words == QLatin1String("--space")) {
        window.findChild<QPushButton*>(QStringLiteral("pushButton_Library"))->click();
        auto* report = window.findChild<QWidget*>(QStringLiteral("LibraryWindow"));
        report->setGeometry(900, 330, 1000, 640);
        auto* page = report->findChild<QWidget*>(QStringLiteral("Space"));
        report->findChild<QTabWidget*>(QStringLiteral("tabWidget_Library"))->setCurrentWidget(page);
        waitUntil([] { return false; }, 400);
        // The largest creator's tile is the one top left.
        auto* map = page->findChild<SpaceMap*>();
        const QPoint point(80, 60);
        QMouseEvent click(QEvent::MouseButtonRelease, point, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(map, &click);
        // A tooltip hides after some seconds: it is asked for again until the picture is taken.
        QTimer pointer;
        QObject::connect(&pointer, &QTimer::timeout, map, [map, point] {
            QHelpEvent help(QEvent::ToolTip, point, map->mapToGlobal(point));
            QCoreApplication::sendEvent(map, &help);
        });
        pointer.start(2000);
        return app.exec();
    }

    window.findChild<QLineEdit*>(QStringLiteral("lineEdit_Filter"))->setText(words);
    waitUntil([] { return false; }, 400);
    // The shown package that the most others use.
    int best = -1;
    int users = 0;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (!table->isRowHidden(row)) {
            table->setCurrentCell(row, 1);
            const int count = tabs->tabText(1).section('(', 1).section(')', 0, 0).toInt();
            if (best < 0 || count > users) {
                best = row;
                users = count;
            }
        }
    }
    if (best >= 0) {
        table->setCurrentCell(best, 1);
    }
    tabs->setCurrentIndex(1);
    window.findChild<QPushButton*>(QStringLiteral("pushButton_Library"))->click();
    auto* report = window.findChild<QWidget*>(QStringLiteral("LibraryWindow"));
    report->setGeometry(960, 430, 940, 560);
    return app.exec();
}
