#ifndef REMOVALCHECK_H
#define REMOVALCHECK_H

#include "libraryqueries.h"

#include <QSet>
#include <QString>
#include <QStringList>

/// What a move or delete would take from the packages that stay.
namespace RemovalCheck {

/// The packages outside `paths`, and the local files, that would lose a dependency
/// they use (declared, direct or nested, or used by their content) once the packages
/// at `paths` are gone (another copy or, for ".latest", another version that stays
/// keeps it); sorted. `missingNow` is what the catalog already lacks, of both sources.
QStringList dependentsLosing(const LibraryCatalog& catalog, const QSet<QString>& paths,
                             const QVector<MissingDependency>& missingNow);

/// The informative text of the confirmation: how many packages, how many of them
/// the filter hides, and up to ten of `dependents`.
QString summary(int packages, int hidden, const QStringList& dependents, bool indexReady);

} // namespace RemovalCheck

#endif // REMOVALCHECK_H
