#include "dependencytabs.h"

#include "libraryanalysis.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>

DependencyTabs::DependencyTabs(QTableWidget* dependencies, QWidget* parent)
    : QObject(parent), tabs(new QTabWidget(parent)), dependencies(dependencies),
      users(new QTableWidget(0, 2)), note(new QLabel)
{
    tabs->setObjectName(QStringLiteral("tabWidget_Depend"));
    tabs->addTab(dependencies, QString());

    users->setObjectName(QStringLiteral("tableWidget_UsedBy"));
    users->setHorizontalHeaderLabels({QStringLiteral("Package"), QStringLiteral("Path")});
    users->setColumnWidth(0, 320);
    users->horizontalHeader()->setStretchLastSection(true);
    users->setEditTriggers(QAbstractItemView::NoEditTriggers);
    users->setSelectionBehavior(QAbstractItemView::SelectRows);
    note->setObjectName(QStringLiteral("label_UsedBy"));
    note->setText(indexNotReadyNote());
    note->setWordWrap(true);
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(note);
    layout->addWidget(users);
    tabs->addTab(page, QString());

    // The inspection changes the row count through the model, from the worker's requests.
    QAbstractItemModel* model = dependencies->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, &DependencyTabs::countDependencies);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &DependencyTabs::countDependencies);
    connect(users, &QTableWidget::itemDoubleClicked, this, [this](QTableWidgetItem* item) {
        emit packageActivated(users->item(item->row(), 1)->text());
    });
    countDependencies();
    fillUsers();
}

void DependencyTabs::setCatalog(std::shared_ptr<const LibraryCatalog> catalog)
{
    this->catalog = std::move(catalog);
    fillUsers();
}

void DependencyTabs::showUsersOf(const QString& packageName)
{
    package = packageName;
    fillUsers();
}

void DependencyTabs::fillUsers()
{
    users->setRowCount(0);
    note->setVisible(!catalog);
    if (!catalog) {
        tabs->setTabText(1, QStringLiteral("Used by"));
        return;
    }
    const QVector<PackageUser> found =
        package.isEmpty() ? QVector<PackageUser>() : LibraryQueries::usedBy(*catalog, package);
    users->setRowCount(found.size());
    for (int row = 0; row < found.size(); ++row) {
        users->setItem(row, 0, new QTableWidgetItem(found.at(row).package));
        users->setItem(row, 1, new QTableWidgetItem(found.at(row).path));
    }
    tabs->setTabText(1, QStringLiteral("Used by (%1)").arg(found.size()));
}

void DependencyTabs::countDependencies()
{
    tabs->setTabText(0, QStringLiteral("Dependencies (%1)").arg(dependencies->rowCount()));
}
