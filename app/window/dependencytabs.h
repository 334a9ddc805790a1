#ifndef DEPENDENCYTABS_H
#define DEPENDENCYTABS_H

#include <QObject>
#include <QString>

#include <memory>

class LibraryCatalog;
class QLabel;
class QTableWidget;
class QTableWidgetItem;
class QTabWidget;
class QWidget;

/// The tabs below the package table: the selected package's dependencies (the table
/// the inspection fills) and the packages that use it, from the library index. Each
/// tab's label carries its count.
class DependencyTabs : public QObject
{
    Q_OBJECT
public:
    /// Takes `dependencies` into the first tab of a new tab widget.
    DependencyTabs(QTableWidget* dependencies, QWidget* parent);

    QTabWidget* widget() const { return tabs; }

    /// The catalog to answer from; null while the index has none for the listed folder.
    void setCatalog(std::shared_ptr<const LibraryCatalog> catalog);
    /// The package whose users to show (its file name without ".var"); empty for none.
    void showUsersOf(const QString& packageName);

signals:
    /// A package of the "Used by" table was double-clicked.
    void packageActivated(const QString& path);

private:
    void fillUsers();
    void countDependencies();

    QTabWidget* tabs;
    QTableWidget* dependencies;
    QTableWidget* users;
    QLabel* note;
    std::shared_ptr<const LibraryCatalog> catalog;
    QString package;
};

#endif // DEPENDENCYTABS_H
