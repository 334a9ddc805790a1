#ifndef MEMBERINDEX_H
#define MEMBERINDEX_H

#include <QString>
#include <QVector>

#include <atomic>

struct FILE_IN_VAR;

/// The members of one archive listing ordered by path, so that the members whose
/// path begins with a given text are found without walking the whole listing for
/// every picture.
class MemberIndex
{
public:
    explicit MemberIndex(const QVector<FILE_IN_VAR>& records);

    /// Marks every unmarked member that is not a picture and whose path begins with
    /// `base` (case-sensitive): the files that a picture stands for. Ends early when
    /// `busy` is cleared.
    void markCompanions(QVector<FILE_IN_VAR>& records, const QString& base,
                        const std::atomic_bool& busy) const;

private:
    QVector<int> order;
    QVector<QString> paths;
};

#endif // MEMBERINDEX_H
