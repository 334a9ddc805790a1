#include "tablecolumns.h"

#include <QTableWidget>

void TableColumns::set(QTableWidget* target, Table kind)
{
    target->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QStringList labels;
    QList<int> widths;
    if (kind == Packages) {
        labels =
            QStringList{QStringLiteral(" "),  QStringLiteral("FileName"), QStringLiteral("Name"),
                        QStringLiteral("MB"), QStringLiteral("Time"),     QStringLiteral("Path")};
        widths = {15, 240, 180, 60, 130, 220};
    } else {
        labels = QStringList{QStringLiteral("Dependence Name"), QStringLiteral("Exist"),
                             QStringLiteral("LicenseType")};
        widths = {320, 50, 120};
    }
    target->setColumnCount(labels.size());
    target->setHorizontalHeaderLabels(labels);
    for (int column = 0; column < widths.size(); ++column) {
        target->setColumnWidth(column, widths.at(column));
    }
}
