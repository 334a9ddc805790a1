#include "benchwindow.h"

#include "benchsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QListWidget>
#include <QProgressBar>
#include <QTableWidget>
#include <QTimer>

namespace BenchWindow {

Inspection inspectRow(QTableWidget* packages, QListWidget* contents, QProgressBar* progress,
                      int row, int expectedMembers, int expectedItems, int settleMs)
{
    // The items of a package inspected before must not be taken for this one's.
    contents->clear();
    Inspection run;
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
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < settleMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, settleMs);
    }
    // All of the job's work, the 7-Zip runs included, without the time of waiting.
    run.cpuMillis = cpuMillis() - cpuBefore;
    return run;
}

double clickHeader(QApplication& app, QHeaderView* header, int column)
{
    QElapsedTimer clock;
    clock.start();
    emit header->sectionClicked(column);
    app.processEvents();
    return double(clock.nsecsElapsed()) / 1e6;
}

void processEventsFor(QApplication& app, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        app.processEvents(QEventLoop::AllEvents, 5);
    }
}

} // namespace BenchWindow
