#ifndef LISTEDWINDOW_H
#define LISTEDWINDOW_H

#include "mainwindow.h"

#include <QString>

#include <memory>

class QListWidget;
class QTableWidget;

/// The main window as a test needs it: opened on fresh settings that name `folder` as
/// the package folder and `dest` as the destination, with the "Confirm" option as given.
struct ListedWindow
{
    explicit ListedWindow(const QString& folder = QString(), const QString& dest = QString(),
                          bool confirm = false);
    /// Presses List and, when `wait`, waits for the listing to end; false when it does not.
    bool list(bool wait = true);
    bool listingEnded() const;
    void click(const char* button);
    QString shownPath() const;
    /// The row of the first package of that file name; -1 when none.
    int rowOf(const QString& fileName) const;
    /// The texts of one column of the package table, top to bottom.
    QStringList column(int column) const;

    std::unique_ptr<MainWindow> window;
    QTableWidget* packages;
    QTableWidget* deps;
    QListWidget* contents;
};

#endif // LISTEDWINDOW_H
