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
/// the inspection fills), the packages that use it and what its content uses, from
/// the library index. Each tab's label carries its count.
class DependencyTabs : public QObject
{
    Q_OBJECT
public:
    /// Takes `dependencies` into the first tab of a new tab widget.
    DependencyTabs(QTableWidget* dependencies, QWidget* parent);

    QTabWidget* widget() const { return tabs; }

    /// The catalog to answer from; null while the index has none for the listed folder.
    void setCatalog(std::shared_ptr<const LibraryCatalog> catalog);
    /// The package whose users and content to show, by its path; empty for none.
    void showPackage(const QString& path);

signals:
    /// A package of the "Used by" table was double-clicked.
    void packageActivated(const QString& path);

private:
    void fillUsers();
    void fillContent();
    void countDependencies();

    QTabWidget* tabs;
    QTableWidget* dependencies;
    QTableWidget* users;
    QLabel* note;
    QTableWidget* content;
    QLabel* contentNote;
    std::shared_ptr<const LibraryCatalog> catalog;
    QString path;
};

#endif // DEPENDENCYTABS_H
