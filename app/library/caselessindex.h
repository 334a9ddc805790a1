#ifndef CASELESSINDEX_H
#define CASELESSINDEX_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

/// Numbers grouped by a name that ignores case, kept in flat arrays. It is filled
/// once and then grouped in one sort, which costs a fraction of filling a hash table
/// of lists pair by pair: the library catalog groups hundreds of thousands of names.
class CaselessIndex
{
public:
    /// Adds a pair; only before group().
    void add(const QString& name, int value);
    /// Groups the pairs added. A group keeps the spelling of its first pair and its
    /// values in the order added; a value added twice in a row is kept once.
    void group();

    /// The values of `name`, empty when it has none.
    QVector<int> values(const QString& name) const;
    /// Every name, once, in the spelling of its group.
    QStringList names() const;

private:
    struct Group
    {
        uint hash;
        int first; // into `grouped`
        int count;
        QString name;
    };

    // Until group(): the pairs in the order added.
    QStringList pendingNames;
    QVector<int> pendingValues;
    // After group(): the values of each group side by side, and the groups by hash.
    QVector<int> grouped;
    std::vector<Group> groups;
};

#endif // CASELESSINDEX_H
