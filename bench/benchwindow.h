#ifndef BENCHWINDOW_H
#define BENCHWINDOW_H

#include <QtGlobal>

class QApplication;
class QHeaderView;
class QListWidget;
class QProgressBar;
class QTableWidget;

// Drives the real window as a user's clicks would, and times it.
namespace BenchWindow {

struct Inspection
{
    qint64 millis = 0;
    qint64 cpuMillis = 0;
    qint64 longestBlockMillis = 0;
    int items = 0;
};

/// Selects a row of the listed window and times its inspection until the last item,
/// then lets the window run for `settleMs`, in which the job keeps its thumbnails.
Inspection inspectRow(QTableWidget* packages, QListWidget* contents, QProgressBar* progress,
                      int row, int expectedMembers, int expectedItems, int settleMs = 1000);

/// Emits a header click as the user's mouse would and returns the milliseconds until
/// the table is idle.
double clickHeader(QApplication& app, QHeaderView* header, int column);

void processEventsFor(QApplication& app, int ms);

} // namespace BenchWindow

#endif // BENCHWINDOW_H
