#include "reportpage.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>

ReportPage::ReportPage(const QStringList& headers, const QList<int>& widths, QWidget* parent)
    : QWidget(parent), model(new ReportModel(headers, this)),
      proxy(new QSortFilterProxyModel(this)), filter(new QLineEdit), view(new QTableView)
{
    proxy->setSourceModel(model);
    proxy->setFilterKeyColumn(-1);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setSortCaseSensitivity(Qt::CaseInsensitive);

    filter->setPlaceholderText(QStringLiteral("Filter"));
    filter->setClearButtonEnabled(true);
    connect(filter, &QLineEdit::textChanged, proxy, &QSortFilterProxyModel::setFilterFixedString);

    view->setModel(proxy);
    view->setSortingEnabled(true);
    view->sortByColumn(0, Qt::AscendingOrder);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    for (int column = 0; column < widths.size(); ++column) {
        view->setColumnWidth(column, widths.at(column));
    }
    connect(view, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        const QString path = index.data(ReportModel::PathRole).toString();
        if (!path.isEmpty()) {
            emit packageActivated(path);
        }
    });

    tools = new QHBoxLayout;
    tools->addWidget(filter, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(view);
}

void ReportPage::setRows(QVector<ReportRow> rows)
{
    model->setRows(std::move(rows));
}

QPushButton* ReportPage::addButton(const QString& text, const std::function<void()>& action)
{
    auto* button = new QPushButton(text);
    connect(button, &QPushButton::clicked, this, action);
    tools->addWidget(button);
    return button;
}

QStringList ReportPage::shownTexts(int column) const
{
    QStringList texts;
    for (int row = 0; row < proxy->rowCount(); ++row) {
        texts << proxy->index(row, column).data().toString();
    }
    return texts;
}

QStringList ReportPage::shownMarkable() const
{
    QStringList paths;
    for (int row = 0; row < proxy->rowCount(); ++row) {
        const QModelIndex index = proxy->index(row, 0);
        if (index.data(ReportModel::MarkableRole).toBool()) {
            paths << index.data(ReportModel::PathRole).toString();
        }
    }
    return paths;
}
