#include "dependencytabs.h"

#include "libraryanalysis.h"

#include <QBoxLayout>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>

namespace {

// A table below a note, as one tab's page.
QWidget* page(QLabel* note, QTableWidget* table)
{
    note->setWordWrap(true);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(note);
    layout->addWidget(table);
    return page;
}

QTableWidgetItem* mark(bool set)
{
    auto* item = new QTableWidgetItem(set ? QStringLiteral("\u221A") : QString());
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

} // namespace

DependencyTabs::DependencyTabs(QTableWidget* dependencies, QWidget* parent)
    : QObject(parent), tabs(new QTabWidget(parent)), dependencies(dependencies),
      users(new QTableWidget(0, 2)), note(new QLabel), content(new QTableWidget(0, 4)),
      contentNote(new QLabel)
{
    tabs->setObjectName(QStringLiteral("tabWidget_Depend"));
    tabs->addTab(dependencies, QString());

    users->setObjectName(QStringLiteral("tableWidget_UsedBy"));
    users->setHorizontalHeaderLabels({QStringLiteral("Package"), QStringLiteral("Path")});
    users->setColumnWidth(0, 320);
    note->setObjectName(QStringLiteral("label_UsedBy"));
    note->setText(indexNotReadyNote());
    tabs->addTab(page(note, users), QString());

    content->setObjectName(QStringLiteral("tableWidget_Content"));
    // "Declared" is empty for what the content uses but the description leaves out.
    content->setHorizontalHeaderLabels({QStringLiteral("Package"), QStringLiteral("Exist"),
                                        QStringLiteral("Declared"), QStringLiteral("First used in")});
    content->setColumnWidth(0, 320);
    content->setColumnWidth(1, 50);
    content->setColumnWidth(2, 70);
    contentNote->setObjectName(QStringLiteral("label_Content"));
    tabs->addTab(page(contentNote, content), QString());

    // The inspection changes the row count through the model, from the worker's requests.
    QAbstractItemModel* model = dependencies->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &DependencyTabs::countDependencies);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &DependencyTabs::countDependencies);
    connect(users, &QTableWidget::itemDoubleClicked, this, [this](QTableWidgetItem* item) {
        emit packageActivated(users->item(item->row(), 1)->text());
    });
    countDependencies();
    fillUsers();
    fillContent();
}

void DependencyTabs::setCatalog(std::shared_ptr<const LibraryCatalog> catalog)
{
    this->catalog = std::move(catalog);
    fillUsers();
    fillContent();
}

void DependencyTabs::showPackage(const QString& path)
{
    this->path = path;
    fillUsers();
    fillContent();
}

void DependencyTabs::fillUsers()
{
    users->setRowCount(0);
    note->setVisible(!catalog);
    if (!catalog) {
        tabs->setTabText(1, QStringLiteral("Used by"));
        return;
    }
    const QVector<PackageUser> found = path.isEmpty() ? QVector<PackageUser>()
                                                      : LibraryQueries::usedBy(*catalog, QFileInfo(path).completeBaseName(), DependencySource::Both);
    users->setRowCount(found.size());
    for (int row = 0; row < found.size(); ++row) {
        users->setItem(row, 0, new QTableWidgetItem(found.at(row).package));
        users->setItem(row, 1, new QTableWidgetItem(found.at(row).path));
    }
    tabs->setTabText(1, QStringLiteral("Used by (%1)").arg(found.size()));
}

void DependencyTabs::fillContent()
{
    content->setRowCount(0);
    const int index = catalog && !path.isEmpty() ? catalog->indexOf(path) : -1;
    const bool read = index >= 0 && catalog->packages()[index].contentRead;
    contentNote->setText(!catalog ? indexNotReadyNote()
                                  : QStringLiteral("The content of this package has not been read yet."));
    contentNote->setVisible(!catalog || (index >= 0 && !read));
    if (!read) {
        tabs->setTabText(2, QStringLiteral("Found in content"));
        return;
    }
    const QVector<ContentUse> found = LibraryQueries::contentUses(*catalog, index);
    content->setRowCount(found.size());
    for (int row = 0; row < found.size(); ++row) {
        content->setItem(row, 0, new QTableWidgetItem(found[row].name));
        content->setItem(row, 1, mark(found[row].state == Presence::Present));
        content->setItem(row, 2, mark(found[row].declared));
        content->setItem(row, 3, new QTableWidgetItem(found[row].member));
    }
    tabs->setTabText(2, QStringLiteral("Found in content (%1)").arg(found.size()));
}

void DependencyTabs::countDependencies()
{
    tabs->setTabText(0, QStringLiteral("Dependencies (%1)").arg(dependencies->rowCount()));
}
