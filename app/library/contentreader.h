#ifndef CONTENTREADER_H
#define CONTENTREADER_H

#include "contentreferences.h"

#include <atomic>

/// Reads which packages the content of one package file uses: every member that
/// ReferenceScanner::wanted() names, unpacked in process piece by piece; nothing is
/// written anywhere. A member over a bound is skipped and counted, never a failure
/// of the whole package.
namespace ContentReader {

/// How much of one package is read.
struct Limits
{
    /// A member stated or found to be larger is skipped.
    qint64 memberBytes = 256 * 1024 * 1024;
    /// Members are read until their bytes together would pass this; the rest are skipped.
    qint64 packageBytes = 1024 * 1024 * 1024;
    /// Distinct references kept per package.
    int references = 5000;
};

/// The content references of the package file at `path`. When `stop` is set the
/// reading ends soon, with the result incomplete.
ContentReferences read(const QString& path, const std::atomic<bool>& stop, const Limits& limits = Limits());

} // namespace ContentReader

#endif // CONTENTREADER_H
