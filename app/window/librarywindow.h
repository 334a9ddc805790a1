#ifndef LIBRARYWINDOW_H
#define LIBRARYWINDOW_H

#include <QStringList>
#include <QWidget>

#include <memory>

class LibraryAnalysis;
class LibraryIndex;
struct LibraryFindings;
class QLabel;
class ReportPage;
class SpacePage;

/// The library report: what is missing, present only in another version, old,
/// broken, present twice or used by content without being declared, each in a tab of
/// its own, and where the space goes. Follows the index: it fills in
/// when the index is ready and again after each refresh.
class LibraryWindow : public QWidget
{
    Q_OBJECT
public:
    LibraryWindow(LibraryIndex* index, LibraryAnalysis* analysis, QWidget* parent = nullptr);

signals:
    /// A package of the report was double-clicked.
    void packageActivated(const QString& path);
    /// "Mark in list" asks for these packages to be ticked in the package table.
    void markRequested(const QStringList& paths);
    /// A creator was clicked in the picture of the space.
    void creatorRequested(const QString& creator);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fill();

    LibraryAnalysis* analysis;
    QLabel* note;
    ReportPage* missing;
    ReportPage* otherVersion;
    ReportPage* oldVersions;
    ReportPage* broken;
    ReportPage* duplicates;
    ReportPage* undeclared;
    SpacePage* space;
    // The findings shown, so that a report that is up to date is not built again.
    std::shared_ptr<const LibraryFindings> shown;
    bool filled = false;
};

#endif // LIBRARYWINDOW_H
