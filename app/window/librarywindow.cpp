#include "librarywindow.h"

#include "libraryanalysis.h"
#include "libraryindex.h"
#include "reportpage.h"
#include "spacepage.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QLabel>
#include <QTabWidget>

namespace {

QString joined(const QStringList& names)
{
    return names.join(QStringLiteral(", "));
}

// The path of a package named in the report, to select it in the package table.
QString pathOf(const LibraryCatalog& catalog, const QString& name)
{
    const QVector<int> found = catalog.named(name);
    return found.isEmpty() ? QString() : catalog.packages().at(found.first()).path;
}

QVector<ReportRow> missingRows(const LibraryFindings& findings, bool otherVersion)
{
    QVector<ReportRow> rows;
    for (const MissingDependency& entry : findings.missing) {
        if (entry.otherVersion != otherVersion) {
            continue;
        }
        ReportRow row;
        row.cells << entry.dependency;
        if (otherVersion) {
            row.cells << joined(entry.present);
        }
        row.cells << entry.neededBy.size() << joined(entry.neededBy);
        row.path = pathOf(*findings.catalog, entry.neededBy.value(0));
        rows << row;
    }
    return rows;
}

QVector<ReportRow> oldVersionRows(const LibraryFindings& findings)
{
    QVector<ReportRow> rows;
    for (const OldVersion& entry : findings.oldVersions) {
        ReportRow row;
        row.cells << entry.package << entry.newest << joined(entry.referencedBy) << entry.path;
        row.path = entry.path;
        row.markable = LibrarySpace::isReclaimable(entry);
        rows << row;
    }
    return rows;
}

QVector<ReportRow> brokenRows(const LibraryFindings& findings)
{
    QVector<ReportRow> rows;
    for (const BrokenPackage& entry : findings.broken) {
        ReportRow row;
        row.cells << entry.path << entry.problem;
        row.path = entry.path;
        // A file that could not be read this time may well be sound.
        row.markable = !entry.unreadable;
        rows << row;
    }
    return rows;
}

QVector<ReportRow> duplicateRows(const LibraryFindings& findings)
{
    QVector<ReportRow> rows;
    for (const DuplicateFile& entry : findings.duplicates) {
        ReportRow row;
        row.cells << entry.file << entry.paths.size() << entry.paths.join(QStringLiteral("; "));
        row.path = entry.paths.value(0);
        rows << row;
    }
    return rows;
}

QVector<ReportRow> undeclaredRows(const LibraryFindings& findings)
{
    QVector<ReportRow> rows;
    for (const ContentMismatch& entry : findings.undeclared) {
        ReportRow row;
        row.cells << entry.package << entry.names.size() << joined(entry.names) << entry.path;
        row.path = entry.path;
        rows << row;
    }
    return rows;
}

} // namespace

LibraryWindow::LibraryWindow(LibraryIndex* index, LibraryAnalysis* analysis, QWidget* parent)
    : QWidget(parent, Qt::Window), analysis(analysis), note(new QLabel(indexNotReadyNote()))
{
    setObjectName(QStringLiteral("LibraryWindow"));
    setWindowTitle(QStringLiteral("Library"));
    resize(1100, 650);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("tabWidget_Library"));
    layout->addWidget(tabs);

    const auto page = [this, tabs](const QString& title, const QStringList& headers,
                                   const QList<int>& widths) {
        auto* added = new ReportPage(headers, widths);
        added->setObjectName(title);
        tabs->addTab(added, title);
        connect(added, &ReportPage::packageActivated, this, &LibraryWindow::packageActivated);
        return added;
    };
    const QString package = QStringLiteral("Package");
    const QString neededBy = QStringLiteral("Needed by");
    const QString packages = QStringLiteral("Packages");
    missing = page(QStringLiteral("Missing"), {QStringLiteral("Dependency"), neededBy, packages},
                   {320, 80});
    otherVersion =
        page(QStringLiteral("Other version"),
             {QStringLiteral("Dependency"), QStringLiteral("Present"), neededBy, packages},
             {320, 200, 80});
    oldVersions = page(QStringLiteral("Old versions"),
                       {package, QStringLiteral("Newest"), QStringLiteral("Referenced by"),
                        QStringLiteral("Path")},
                       {320, 240, 240});
    broken =
        page(QStringLiteral("Broken"), {QStringLiteral("Path"), QStringLiteral("Problem")}, {600});
    duplicates = page(QStringLiteral("Duplicates"),
                      {QStringLiteral("File"), QStringLiteral("Copies"), QStringLiteral("Paths")},
                      {320, 60});
    undeclared = page(QStringLiteral("Undeclared"),
                      {package, QStringLiteral("Count"), QStringLiteral("Used by its content, not declared"),
                       QStringLiteral("Path")},
                      {320, 60, 400});
    space = new SpacePage;
    space->setObjectName(QStringLiteral("Space"));
    tabs->addTab(space, QStringLiteral("Space"));
    connect(space, &SpacePage::markRequested, this, &LibraryWindow::markRequested);
    connect(space, &SpacePage::creatorClicked, this, &LibraryWindow::creatorRequested);

    missing->addButton(QStringLiteral("Copy names"), [this] {
        // One name a line, as download lists take them.
        QApplication::clipboard()->setText(missing->shownTexts(0).join(QLatin1Char('\n')));
    });
    oldVersions->addButton(QStringLiteral("Mark in list"),
                           [this] { emit markRequested(oldVersions->shownMarkable()); });
    broken->addButton(QStringLiteral("Mark in list"),
                      [this] { emit markRequested(broken->shownMarkable()); });

    connect(analysis, &LibraryAnalysis::updated, this, [this] {
        if (isVisible()) {
            fill();
        }
    });
    // A new folder's refresh leaves the report of the previous one behind.
    connect(index, &LibraryIndex::progress, this, [this] {
        if (isVisible() && shown && !this->analysis->findings()) {
            fill();
        }
    });
    fill();
}

void LibraryWindow::showEvent(QShowEvent* event)
{
    fill();
    QWidget::showEvent(event);
}

void LibraryWindow::fill()
{
    const std::shared_ptr<const LibraryFindings> findings = analysis->findings();
    if (filled && findings == shown) {
        return;
    }
    filled = true;
    shown = findings;
    note->setVisible(!findings);
    const QList<ReportPage*> pages{missing, otherVersion, oldVersions, broken, duplicates, undeclared};
    if (!findings) {
        for (ReportPage* page : pages) {
            page->setRows({});
        }
        space->setSpace(LibrarySpace());
        return;
    }
    missing->setRows(missingRows(*findings, false));
    otherVersion->setRows(missingRows(*findings, true));
    oldVersions->setRows(oldVersionRows(*findings));
    broken->setRows(brokenRows(*findings));
    duplicates->setRows(duplicateRows(*findings));
    undeclared->setRows(undeclaredRows(*findings));
    space->setSpace(findings->space);
}
