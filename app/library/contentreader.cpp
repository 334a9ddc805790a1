#include "contentreader.h"

#include "caselesskey.h"
#include "hvararchive.h"
#include "referencescanner.h"

#include <QSet>

namespace ContentReader {

ContentReferences read(const QString& path, const std::atomic<bool>& stop, const Limits& limits)
{
    ContentReferences result;
    HVarArchive archive;
    if (!archive.open(path)) {
        result.problem = archive.error();
        return result;
    }
    QSet<CaselessKey> known;
    bool dropped = false;
    qint64 budget = limits.packageBytes;
    for (const QString& member : archive.members()) {
        ReferenceScanner::Kind kind;
        if (stop || !ReferenceScanner::wanted(member, &kind)) {
            continue;
        }
        ReferenceScanner scanner(kind);
        const bool read = archive.stream(
            member,
            [&](const char* data, qint64 size) {
                budget -= size;
                scanner.feed(data, size);
                return budget >= 0 && !stop;
            },
            qMin(limits.memberBytes, qMax<qint64>(budget, 0)));
        // A member read in part says nothing certain; its references are left out.
        if (!read) {
            ++result.membersSkipped;
            continue;
        }
        ++result.membersScanned;
        dropped = dropped || scanner.overflowed();
        for (const QString& name : scanner.references()) {
            if (known.contains(CaselessKey{name})) {
                continue;
            }
            if (known.size() >= limits.references) {
                dropped = true;
                break;
            }
            known.insert(CaselessKey{name});
            result.references.append({name, member});
        }
    }
    result.complete = !stop && result.membersSkipped == 0 && !dropped;
    return result;
}

} // namespace ContentReader
