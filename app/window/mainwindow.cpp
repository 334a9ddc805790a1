#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "appinfo.h"
#include "datafiles.h"
#include "dependencytabs.h"
#include "filelocator.h"
#include "libraryanalysis.h"
#include "libraryindex.h"
#include "librarystatus.h"
#include "librarywindow.h"
#include "packagefilter.h"
#include "preferredwidthitem.h"
#include "removalcheck.h"
#include "settingsstore.h"
#include "tablecolumns.h"

#include <QAction>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QSplitter>
#include <QUrl>

#include <algorithm>

namespace {

// A minimum width that never cuts the widget's own text short.
void atLeastWidth(QWidget* widget, int width)
{
    widget->setMinimumWidth(qMax(width, widget->sizeHint().width()));
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    loadSaveSettings(true);
    createActions();
    setupLibrary();
    setupWindow();
    connectWorker();
}

MainWindow::~MainWindow()
{
    // A job still running would go on writing to widgets that are about to go.
    worker.stopJob();
    libraryIndex->stop();
    // Cells already sent are still on their way, and nobody frees those that never
    // arrive: take them now into tables without rows, which delete each at once. The
    // end of the listing comes with them and must not start the index again.
    listingPending = false;
    indexPending = false;
    ui->tableWidget_Var->setRowCount(0);
    ui->tableWidget_Depend->setRowCount(0);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    worker.clearTempDir();
    loadSaveSettings(false);
    delete ui;
}

void MainWindow::loadSaveSettings(bool load)
{
    const auto param = openSettingsGroup(QStringLiteral("Param"));
    if (load) {
        const bool bigImg = param->value(QStringLiteral("ShowBigImg"), 0).toInt() == 1;
        ui->checkBox_ShowBigImg->setCheckState(bigImg ? Qt::Checked : Qt::Unchecked);
        const bool confirm = param->value(QStringLiteral("Confirm"), 1).toInt() == 1;
        ui->checkBox_Confirm->setCheckState(confirm ? Qt::Checked : Qt::Unchecked);
    } else {
        param->setValue(QStringLiteral("ShowBigImg"),
                        ui->checkBox_ShowBigImg->checkState() == Qt::Checked ? 1 : 0);
        param->setValue(QStringLiteral("Confirm"),
                        ui->checkBox_Confirm->checkState() == Qt::Checked ? 1 : 0);
    }
}

void MainWindow::createActions()
{
    const auto addShortcut = [this](const QKeySequence& keys, void (MainWindow::*slot)()) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
    };
    addShortcut(QKeySequence(Qt::CTRL + Qt::Key_V), &MainWindow::on_pushButton_MoveTo_clicked);
    addShortcut(QKeySequence(Qt::CTRL + Qt::Key_X), &MainWindow::on_pushButton_Del_clicked);
    addShortcut(QKeySequence(Qt::Key_Space), &MainWindow::on_pressSpaceBar);
    addShortcut(QKeySequence(Qt::Key_Escape), &MainWindow::stopListing);
}

void MainWindow::setupWindow()
{
    showMaximized();

    TableColumns::set(ui->tableWidget_Var, TableColumns::Packages);
    ui->tableWidget_Var->horizontalHeader()->setSortIndicatorShown(true);
    std::fill(std::begin(sortState), std::end(sortState), 0);
    TableColumns::set(ui->tableWidget_Depend, TableColumns::Dependencies);

    QListWidget* contents = ui->listWidget_InVar;
    contents->setViewMode(QListView::IconMode);
    contents->setIconSize(QSize(256, 256));
    contents->setSpacing(2);
    contents->setResizeMode(QListView::Adjust);
    contents->setMovement(QListView::Static);
    contents->setWordWrap(true);
    // Laid out a batch at a time: thousands of items in one pass would freeze the window.
    contents->setLayoutMode(QListView::Batched);

    varHistory.init(this, ui->comboBox_GamePath, QStringLiteral("Var"));
    destHistory.init(this, ui->comboBox_DestPath, QStringLiteral("Dest"));

    ui->progressBar->setRange(0, 99);
    ui->progressBar->setValue(99);

    topRow = new QHBoxLayout;
    // The path fields are as wide as ever from 1920 pixels on; on a narrower screen they
    // give up width, down to 150 pixels each, so that every button of the row stays in view.
    const auto addPathField = [this](QWidget* field, int preferred, int maximum) {
        field->setMinimumWidth(150);
        field->setMaximumWidth(maximum);
        topRow->addItem(new PreferredWidthItem(field, preferred));
    };
    topRow->addWidget(ui->label_3);
    addPathField(ui->comboBox_GamePath, 350, 500);
    ui->pushButton_BrowsePath->setFixedWidth(30);
    topRow->addWidget(ui->pushButton_BrowsePath);
    topRow->addWidget(ui->pushButton_ListVar);
    topRow->addStretch(3);
    addPathField(ui->lineEdit_FileFullPath, 500, 800);
    atLeastWidth(ui->pushButton_FileLocation, 100);
    topRow->addWidget(ui->pushButton_FileLocation);
    topRow->addStretch(3);
    ui->pushButton_MoveTo->setStyleSheet(
        QStringLiteral("color: rgb(255,255,255);background-color: rgb(0,180,0)"));
    topRow->addWidget(ui->pushButton_MoveTo);
    addPathField(ui->comboBox_DestPath, 300, 500);
    ui->pushButton_BrowseDestDir->setFixedWidth(30);
    topRow->addWidget(ui->pushButton_BrowseDestDir);
    topRow->addStretch(3);
    ui->pushButton_Del->setStyleSheet(
        QStringLiteral("color: rgb(255,255,255);background-color: rgb(180,0,0)"));
    atLeastWidth(ui->pushButton_Del, 120);
    topRow->addWidget(ui->pushButton_Del);

    mainLayout = new QVBoxLayout;
    mainLayout->addLayout(topRow);

    auto* outer = new QSplitter(Qt::Horizontal);
    auto* inner = new QSplitter(Qt::Vertical, outer);
    inner->setOpaqueResize(false);
    // The path row has no room left on a 1920-pixel screen: the filter goes just above
    // the package table, a pane of fixed height.
    inner->addWidget(ui->lineEdit_Filter);
    inner->addWidget(ui->tableWidget_Var);
    inner->setCollapsible(0, false);
    inner->handle(1)->setEnabled(false);
    inner->addWidget(dependencyTabs->widget());
    outer->addWidget(ui->listWidget_InVar);
    mainLayout->addWidget(outer);

    bottomRow = new QHBoxLayout;
    bottomRow->addWidget(ui->label_2);
    bottomRow->addWidget(ui->checkBox_ShowBigImg);
    bottomRow->addWidget(ui->checkBox_Confirm);
    bottomRow->addStretch(3);
    ui->label_Link->setText(
        QStringLiteral("<a href=\"" QUILLMARK_SITE "\">Quillmark MainSite</a>"));
    ui->label_Link->setOpenExternalLinks(true);
    bottomRow->addWidget(ui->label_Link);
    bottomRow->addStretch(3);
    ui->progressBar->setMinimumWidth(300);
    ui->progressBar->setMaximumWidth(500);
    bottomRow->addWidget(ui->progressBar);
    bottomRow->addStretch(3);
    bottomRow->addWidget(ui->pushButton_Library);
    bottomRow->addWidget(ui->pushButton_Help);
    mainLayout->addLayout(bottomRow);

    ui->centralWidget->setLayout(mainLayout);

    ui->tableWidget_Var->setMinimumWidth(800);
    inner->setStretchFactor(1, 8);
    inner->setStretchFactor(2, 2);

    setWindowTitle(QStringLiteral("Quillmark V1.1 (by Morrowquay - " QUILLMARK_SITE ")"));
}

void MainWindow::connectWorker()
{
    connect(&worker, &threadMan::fillTable, this, &MainWindow::on_fillTable);
    connect(&worker, &threadMan::setProg, this, &MainWindow::on_setProg);
    connect(&worker, &threadMan::fileTableItemColor, this, &MainWindow::on_fileTableItemColor);
    connect(&worker, &threadMan::initTableSort, this, &MainWindow::on_initTableSort);
    QHeaderView* header = ui->tableWidget_Var->horizontalHeader();
    connect(header, &QHeaderView::sectionClicked, this, &MainWindow::on_varTableHeaderClicked);
    // A header press selects nothing by itself; the click decides what happens.
    // The table made that connection by name, so only a by-name disconnect finds it.
    disconnect(header, SIGNAL(sectionPressed(int)), ui->tableWidget_Var, SLOT(selectColumn(int)));
}

void MainWindow::setupLibrary()
{
    libraryIndex = new LibraryIndex(this);
    // The collector's own scenes beside the package folder count as users too.
    libraryIndex->setContentReading(true);
    analysis = new LibraryAnalysis(libraryIndex, this);
    new LibraryStatus(ui->statusBar, libraryIndex, analysis, this);
    filter = new PackageFilter(ui->lineEdit_Filter, ui->tableWidget_Var, this);
    dependencyTabs = new DependencyTabs(ui->tableWidget_Depend, ui->centralWidget);
    connect(dependencyTabs, &DependencyTabs::packageActivated, this, &MainWindow::selectPackage);
    connect(libraryIndex, &LibraryIndex::ready, this, &MainWindow::showCatalog);
    connect(&worker, &QThread::finished, this, &MainWindow::jobFinished);
}

void MainWindow::jobFinished()
{
    // Arrives after all the job's signals. A listing started since keeps its "Stop":
    // busy stays raised until it ends.
    if (!worker.listingUnderway()) {
        showListingRunning(false);
    }
    // A job started since the listing ended leaves the rest to its own end.
    if (!listingPending || worker.jobRunning()) {
        return;
    }
    listingPending = false;
    filter->apply();
    followListing();
}

void MainWindow::followListing()
{
    // Only once no job runs: a job started since the listing ended would share what it
    // found, and one that lists again replaces it.
    if (!indexPending || worker.jobRunning()) {
        return;
    }
    indexPending = false;
    libraryIndex->refresh(listedFolder, worker.takeListed());
    showCatalog();
}

std::shared_ptr<const LibraryCatalog> MainWindow::liveCatalog(const QString& folder) const
{
    const bool listed = !folder.isEmpty() && libraryIndex->folder() == LibraryIndex::normalFolder(folder);
    return listed ? libraryIndex->catalog() : nullptr;
}

std::shared_ptr<const LibraryCatalog> MainWindow::listedCatalog() const
{
    return libraryIndex->isReady() ? liveCatalog(listedFolder) : nullptr;
}

void MainWindow::showCatalog()
{
    dependencyTabs->setCatalog(listedCatalog());
}

PackageRows MainWindow::packageRows() const
{
    return PackageRows(ui->tableWidget_Var, &worker);
}

void MainWindow::selectPackage(const QString& path)
{
    const QList<int> found = packageRows().rowsOf({path});
    if (found.isEmpty()) {
        return;
    }
    QTableWidget* table = ui->tableWidget_Var;
    if (table->isRowHidden(found.first())) {
        filter->clear();
    }
    table->setCurrentCell(found.first(), 1);
    table->scrollToItem(table->item(found.first(), 1));
}

void MainWindow::markPackages(const QStringList& paths)
{
    QSet<QString> wanted;
    for (const QString& path : paths) {
        wanted.insert(path);
    }
    for (int row : packageRows().rowsOf(wanted)) {
        ui->tableWidget_Var->item(row, 0)->setCheckState(Qt::Checked);
    }
}

void MainWindow::on_pushButton_Library_clicked()
{
    if (libraryWindow == nullptr) {
        libraryWindow = new LibraryWindow(libraryIndex, analysis, this);
        connect(libraryWindow, &LibraryWindow::packageActivated, this, &MainWindow::selectPackage);
        connect(libraryWindow, &LibraryWindow::markRequested, this, &MainWindow::markPackages);
        connect(libraryWindow, &LibraryWindow::creatorRequested, filter, &PackageFilter::showCreator);
    }
    libraryWindow->show();
    libraryWindow->raise();
    libraryWindow->activateWindow();
}

void MainWindow::on_pushButton_BrowsePath_clicked()
{
    varHistory.browse();
}

void MainWindow::on_pushButton_ListVar_clicked()
{
    if (worker.listingRunning()) {
        worker.stopJob();
        return;
    }
    const QString folder = varHistory.currentPath();
    if (folder.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Prompt"),
                                 QStringLiteral("Must Select Path First!"), QMessageBox::Ok);
        return;
    }
    if (worker.jobRunning()) {
        return;
    }
    showListingRunning(true);
    worker.startListing(folder, ui->tableWidget_Var, liveCatalog(folder));
    listedFolder = folder;
    listingPending = true;
    indexPending = true;
    showCatalog();
}

void MainWindow::stopListing()
{
    if (worker.listingRunning()) {
        worker.stopJob();
    }
}

void MainWindow::showListingRunning(bool running)
{
    ui->pushButton_ListVar->setText(running ? QStringLiteral("Stop") : QStringLiteral("List"));
    // A sort while the rows fill would move rows whose other cells are still on their
    // way, and they would land beside another package's name.
    ui->tableWidget_Var->horizontalHeader()->setSectionsClickable(!running);
}

void MainWindow::on_tableWidget_Var_itemSelectionChanged()
{
    const QList<QTableWidgetItem*> selected = ui->tableWidget_Var->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    worker.stopJob();
    // A click that comes before the end of a listing was taken up finds its packages all the same.
    followListing();
    const int index = selected.first()->data(Qt::UserRole).toInt();
    const QString path = worker.filePathAt(index);
    ui->lineEdit_FileFullPath->setText(path);
    dependencyTabs->showPackage(path);
    worker.startInspection(path, ui->tableWidget_Depend, ui->listWidget_InVar,
                           liveCatalog(listedFolder),
                           ui->checkBox_ShowBigImg->checkState() == Qt::Checked);
}

void MainWindow::on_pushButton_FileLocation_clicked()
{
    showInFileManager(ui->lineEdit_FileFullPath->text());
}

void MainWindow::on_fillTable(int tableIndex, int row, int column, QTableWidgetItem* item)
{
    QTableWidget* target = tableIndex == 0   ? ui->tableWidget_Var
                           : tableIndex == 1 ? ui->tableWidget_Depend
                                             : nullptr;
    if (target == nullptr || row < 0 || row >= target->rowCount() || column < 0 ||
        column >= target->columnCount()) {
        delete item;
        return;
    }
    target->setItem(row, column, item);
}

void MainWindow::on_setProg(int pos1, int pos2)
{
    if (pos2 != 0) {
        ui->progressBar->setRange(pos1, pos2);
    }
    ui->progressBar->setValue(pos1);
}

void MainWindow::on_checkBox_ShowBigImg_stateChanged(int arg1)
{
    Q_UNUSED(arg1)
    on_tableWidget_Var_itemSelectionChanged();
}

void MainWindow::on_tableWidget_Var_itemDoubleClicked(QTableWidgetItem* item)
{
    if (item == nullptr || item->tableWidget() == nullptr || item->column() != 1) {
        on_pushButton_FileLocation_clicked();
        return;
    }
    const QString path = worker.filePathAt(item->data(Qt::UserRole).toInt());
    if (!path.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
}

void MainWindow::on_pushButton_Help_clicked()
{
    QString text;
    QFile file(dataFilePath(QStringLiteral("help.txt")));
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // Read as a C string: the text ends at the first zero byte.
        text = QString::fromUtf8(file.readAll().constData());
    }
    text +=
        QStringLiteral("\r\n\r\n********\r\nQuillmark (v1.1.1.1)\r\n"
                       "Copyright (C) 2026 Morrowquay. All rights reserved.\r\n" QUILLMARK_SITE);
    QMessageBox::information(this, QStringLiteral("Help"), text, QMessageBox::Ok);
}

bool MainWindow::confirmed(const QString& title, const QString& text,
                           const QList<QTableWidgetItem*>& items)
{
    if (ui->checkBox_Confirm->checkState() != Qt::Checked) {
        return true;
    }
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, this);
    box.setInformativeText(removalSummary(items));
    return box.exec() == QMessageBox::Yes;
}

QString MainWindow::removalSummary(const QList<QTableWidgetItem*>& items) const
{
    const QList<int> targetRows = PackageRows::rowsOf(items);
    const std::shared_ptr<const LibraryCatalog> catalog = listedCatalog();
    QStringList dependents;
    if (catalog) {
        QSet<QString> paths;
        for (int row : targetRows) {
            paths.insert(packageRows().pathAt(row));
        }
        const std::shared_ptr<const LibraryFindings> findings = analysis->findings();
        const QVector<MissingDependency> missingNow =
            findings && findings->catalog == catalog ? findings->missingInUse
                                                     : LibraryQueries::missing(*catalog, DependencySource::Both);
        dependents = RemovalCheck::dependentsLosing(*catalog, paths, missingNow);
    }
    return RemovalCheck::summary(targetRows.size(), filter->hiddenAmong(targetRows), dependents,
                                 catalog != nullptr);
}

void MainWindow::removeTargets(const QList<QTableWidgetItem*>& items, int mode, const QString& dest)
{
    QStringList touched;
    for (int row : PackageRows::rowsOf(items)) {
        const QString path = packageRows().pathAt(row);
        touched << path;
        if (mode == 1) {
            touched << dest + QLatin1Char('/') + QFileInfo(path).fileName();
        }
    }
    worker.moveOrDeleteItems(items, mode, dest);
    libraryIndex->update(touched);
}

void MainWindow::on_pushButton_Del_clicked()
{
    QList<QTableWidgetItem*> items;
    if (!getTargetItems(items)) {
        return;
    }
    if (!confirmed(QStringLiteral("Delete Confirm"),
                   QStringLiteral("Delete Selected File(s)! Confirm?"), items)) {
        return;
    }
    removeTargets(items, 0, QString());
}

void MainWindow::on_pushButton_BrowseDestDir_clicked()
{
    destHistory.browse();
}

void MainWindow::on_pushButton_MoveTo_clicked()
{
    const QString dest = destHistory.currentPath();
    if (dest.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Move"),
                                 QStringLiteral("Select Dest Path you want First!"),
                                 QMessageBox::Ok);
        return;
    }
    if (!QDir(dest).exists() && !QDir().mkpath(dest)) {
        QMessageBox::information(this, QStringLiteral("Failed"),
                                 QStringLiteral("Create Path ") + dest + QStringLiteral(" Failed!"),
                                 QMessageBox::Ok);
        return;
    }
    QList<QTableWidgetItem*> items;
    if (!getTargetItems(items)) {
        return;
    }
    if (!confirmed(QStringLiteral("Move Confirm"),
                   QStringLiteral("Move Selected File(s) to DestPath! Confirm?"), items)) {
        return;
    }
    removeTargets(items, 1, dest);
}

void MainWindow::on_fileTableItemColor(int row, QColor color)
{
    QTableWidget* table = ui->tableWidget_Var;
    if (QTableWidgetItem* check = table->item(row, 0)) {
        check->setCheckState(Qt::Unchecked);
    }
    for (int column = 0; column < 6; ++column) {
        if (QTableWidgetItem* cell = table->item(row, column)) {
            cell->setBackground(color);
        }
    }
}

void MainWindow::on_comboBox_GamePath_currentIndexChanged(int index)
{
    varHistory.onCurrentIndexChanged(index);
}

void MainWindow::on_comboBox_DestPath_currentIndexChanged(int index)
{
    destHistory.onCurrentIndexChanged(index);
}

void MainWindow::on_pressSpaceBar()
{
    QTableWidget* table = ui->tableWidget_Var;
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    for (const QTableWidgetItem* item : selected) {
        QTableWidgetItem* check = table->item(item->row(), 0);
        if (check == nullptr) {
            continue;
        }
        const int state = check->data(Qt::CheckStateRole).toInt();
        check->setCheckState(state == 0 ? Qt::Checked : Qt::Unchecked);
    }
}

void MainWindow::on_varTableHeaderClicked(int nCol)
{
    qDebug() << "click header: " << nCol;
    if (nCol == 0) {
        ui->tableWidget_Var->selectColumn(0);
        // The header has moved its indicator to the check column by itself; put it
        // back on the column that the rows are sorted by.
        const auto sorted = std::find_if(std::begin(sortState) + 1, std::end(sortState),
                                         [](int state) { return state != 0; });
        if (sorted != std::end(sortState)) {
            updateSortIndicator(int(sorted - std::begin(sortState)));
        }
        return;
    }
    if (nCol < 0 || nCol >= 6) {
        return;
    }
    sortState[nCol] = sortState[nCol] == 1 ? -1 : 1;
    ui->tableWidget_Var->sortItems(nCol,
                                   sortState[nCol] == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
    updateSortIndicator(nCol);
}

void MainWindow::updateSortIndicator(int column)
{
    ui->tableWidget_Var->horizontalHeader()->setSortIndicator(
        column, sortState[column] == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
    for (int i = 0; i < 6; ++i) {
        if (i != column) {
            sortState[i] = 0;
        }
    }
}

void MainWindow::on_initTableSort()
{
    sortState[1] = 1;
    updateSortIndicator(1);
}

bool MainWindow::getTargetItems(QList<QTableWidgetItem*>& items)
{
    // A listing replaces the rows and the records behind them: no targets meanwhile.
    if (worker.listingRunning()) {
        qDebug() << "no file actions while a listing runs";
        return false;
    }
    // Rows of a listing that has just ended may still be on their way; the cells must
    // match the records before any of them is taken.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);

    QTableWidget* table = ui->tableWidget_Var;
    if (table->rowCount() == 0) {
        return false;
    }
    bool checked = false;
    for (int row = 0; row < table->rowCount(); ++row) {
        QTableWidgetItem* check = table->item(row, 0);
        if (check != nullptr && check->data(Qt::CheckStateRole).toInt() == 2) {
            items.append(check);
            checked = true;
        }
    }
    if (checked) {
        return true;
    }
    items = table->selectedItems();
    return !items.isEmpty();
}
