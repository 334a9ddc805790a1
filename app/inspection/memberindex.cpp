#include "memberindex.h"

#include "hzip.h"

#include <algorithm>
#include <numeric>

MemberIndex::MemberIndex(const QVector<FILE_IN_VAR>& records) : order(records.size())
{
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&records](int a, int b) { return records.at(a).filePath < records.at(b).filePath; });
    paths.reserve(order.size());
    for (int index : qAsConst(order)) {
        paths.append(records.at(index).filePath);
    }
}

void MemberIndex::markCompanions(QVector<FILE_IN_VAR>& records, const QString& base,
                                 const std::atomic_bool& busy) const
{
    // Paths that begin with base form one run in this order, starting at the first
    // path not ordered before base.
    for (auto it = std::lower_bound(paths.cbegin(), paths.cend(), base);
         it != paths.cend() && it->startsWith(base); ++it) {
        if (!busy) {
            return;
        }
        FILE_IN_VAR& record = records[order.at(int(it - paths.cbegin()))];
        const QString tail = record.filePath.right(3);
        if (record.mark == 1 || tail == QLatin1String("jpg") || tail == QLatin1String("png")) {
            continue;
        }
        record.mark = 1;
    }
}
