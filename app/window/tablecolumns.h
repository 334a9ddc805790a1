#ifndef TABLECOLUMNS_H
#define TABLECOLUMNS_H

class QTableWidget;

/// The columns of the window's two tables: labels, in the order the worker fills the
/// cells, and first widths; cells are not edited.
namespace TableColumns {

enum Table
{
    Packages,
    Dependencies,
};

void set(QTableWidget* target, Table kind);

} // namespace TableColumns

#endif // TABLECOLUMNS_H
