#include "caselessindex.h"

#include "caselesskey.h"

#include <algorithm>

void CaselessIndex::add(const QString& name, int value)
{
    pendingNames.append(name);
    pendingValues.append(value);
}

void CaselessIndex::group()
{
    const int count = pendingNames.size();
    // Sorting the hashes with the order of adding in the low bits keeps each name's
    // pairs in that order.
    std::vector<quint64> order(count);
    for (int i = 0; i < count; ++i) {
        order[i] = quint64(caselessHash(pendingNames.at(i))) << 32 | quint32(i);
    }
    std::sort(order.begin(), order.end());
    const auto pairAt = [&order](size_t k) { return int(order[k] & 0xffffffff); };
    const auto hashAt = [&order](size_t k) { return uint(order[k] >> 32); };

    // Each pair's head: the first pair of its name. Taken at first to be the first of
    // its hash, then checked in the order added, which reads the names about as they
    // lie in memory rather than all over it.
    std::vector<int> headOf(count);
    for (size_t k = 0, first = 0; k < order.size(); ++k) {
        if (hashAt(k) != hashAt(first)) {
            first = k;
        }
        headOf[pairAt(k)] = pairAt(first);
    }
    for (int i = 0; i < count; ++i) {
        if (headOf[i] == i ||
            compareCaseless(pendingNames.at(i), pendingNames.at(headOf[i])) == 0) {
            continue;
        }
        // Another name of the same hash, which is rare: its head is its first pair.
        const quint64 runStart = quint64(caselessHash(pendingNames.at(i))) << 32;
        for (auto k = std::lower_bound(order.begin(), order.end(), runStart);; ++k) {
            const int pair = int(*k & 0xffffffff);
            if (compareCaseless(pendingNames.at(pair), pendingNames.at(i)) == 0) {
                headOf[i] = pair;
                break;
            }
        }
    }

    grouped.reserve(count);
    for (size_t start = 0, end = 0; start < order.size(); start = end) {
        const uint hash = hashAt(start);
        while (end < order.size() && hashAt(end) == hash) {
            ++end;
        }
        for (size_t k = start; k < end; ++k) {
            const int head = pairAt(k);
            if (headOf[head] != head) {
                continue;
            }
            Group entry{hash, grouped.size(), 0, pendingNames.at(head)};
            for (size_t m = k; m < end; ++m) {
                const int pair = pairAt(m);
                const int value = pendingValues.at(pair);
                if (headOf[pair] == head && (entry.count == 0 || grouped.last() != value)) {
                    grouped.append(value);
                    ++entry.count;
                }
            }
            groups.push_back(entry);
        }
    }
    pendingNames.clear();
    pendingValues.clear();
}

QVector<int> CaselessIndex::values(const QString& name) const
{
    const uint hash = caselessHash(name);
    auto it = std::lower_bound(groups.begin(), groups.end(), hash,
                               [](const Group& group, uint h) { return group.hash < h; });
    for (; it != groups.end() && it->hash == hash; ++it) {
        if (compareCaseless(it->name, name) == 0) {
            QVector<int> result(it->count);
            std::copy(grouped.begin() + it->first, grouped.begin() + it->first + it->count,
                      result.begin());
            return result;
        }
    }
    return {};
}

QStringList CaselessIndex::names() const
{
    QStringList result;
    result.reserve(int(groups.size()));
    for (const Group& group : groups) {
        result << group.name;
    }
    return result;
}
