#ifndef SPACEPAGE_H
#define SPACEPAGE_H

#include "libraryspace.h"

#include <QWidget>

class QLabel;
class QPushButton;
class SpaceMap;

/// The "Space" tab of the library report: the library's size, a treemap of the space
/// by creator, and the files that could be reclaimed, each group with a "Mark in list".
class SpacePage : public QWidget
{
    Q_OBJECT
public:
    explicit SpacePage(QWidget* parent = nullptr);

    void setSpace(const LibrarySpace& space);

signals:
    /// "Mark in list" asks for exactly these packages to be ticked.
    void markRequested(const QStringList& paths);
    void creatorClicked(const QString& creator);

private:
    struct Group
    {
        const ReclaimableFiles LibrarySpace::*files;
        QLabel* figures;
        QPushButton* mark;
        QString one;
        QString many;
    };

    LibrarySpace shown;
    QLabel* total;
    SpaceMap* map;
    QVector<Group> groups;
};

#endif // SPACEPAGE_H
