#ifndef LIBRARYSTATUS_H
#define LIBRARYSTATUS_H

#include <QObject>

class LibraryAnalysis;
class LibraryIndex;
class QLabel;
class QProgressBar;
class QStatusBar;

/// The library's part of the status bar: how far the index has read while it works,
/// then a one-line summary of the library. The window's own progress bar stays the
/// listing's and the inspection's.
class LibraryStatus : public QObject
{
    Q_OBJECT
public:
    LibraryStatus(QStatusBar* bar, LibraryIndex* index, LibraryAnalysis* analysis,
                  QObject* parent = nullptr);

    /// "30,000 packages, 12 missing dependencies, 340 old versions, 3 broken files".
    static QString summary(int packages, int missing, int old, int broken);

private:
    void showProgress(int done, int total, bool content);
    void showSummary();

    LibraryIndex* index;
    LibraryAnalysis* analysis;
    QLabel* text;
    QProgressBar* progress;
};

#endif // LIBRARYSTATUS_H
