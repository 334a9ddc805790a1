#ifndef SHELLFILEOPS_H
#define SHELLFILEOPS_H

#include <QString>

/// Sends one file or directory to the desktop's trash, from where the user can
/// restore it. Returns true only when it is there.
bool deleteFileToTrash(const QString& path);

/// Moves one file or directory into the folder `destDir` under its own name.
/// An entry of that name already in `destDir` is never replaced: the move fails
/// and both stay as they were. Returns true only when the move is complete.
bool moveFileTo(const QString& path, const QString& destDir);

#endif // SHELLFILEOPS_H
