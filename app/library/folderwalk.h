#ifndef FOLDERWALK_H
#define FOLDERWALK_H

#include "indexedpackage.h"

#include <QString>
#include <QVector>

#include <functional>

/// The one walk of a package folder tree, which the package table and the library
/// index both take their packages from.
namespace FolderWalk {

/// Whether the walk is to end early.
using StopCheck = std::function<bool()>;

/// The package files (suffix "var", in that case) below `folder`, hidden entries left
/// out, each with its size and time and its name parsed. Each folder's sub-folders
/// come first, depth first, then its files; both by name, case-sensitively. Folders
/// and files are known by their real identity, so that a link to something met
/// before, or a cycle of links, adds nothing. Ends early, with what it found so far,
/// when `stopped` says so.
QVector<IndexedPackage> packages(const QString& folder, const StopCheck& stopped);

/// The package file at `path` with its size and time and its name parsed, as the walk
/// would find it; one without a path when there is no regular file of that suffix.
IndexedPackage package(const QString& path);

/// `name` inside `folder`, without doubling the separator of a root such as "/".
QString childPath(const QString& folder, const QString& name);

} // namespace FolderWalk

#endif // FOLDERWALK_H
