#ifndef SHELLFILEOPS_H
#define SHELLFILEOPS_H

#include <QString>

#include <functional>

/// Hears how many bytes of how many a move has copied so far; returning false
/// cancels the move, which then leaves everything as it was.
using CopyProgress = std::function<bool(qint64 copied, qint64 total)>;

/// Sends one file or directory to the desktop's trash, from where the user can
/// restore it. Returns true only when it is there.
bool deleteFileToTrash(const QString& path);

/// Moves one file or directory into the folder `destDir` under its own name.
/// An entry of that name already in `destDir` is never replaced: the move fails
/// and both stay as they were. Returns true only when the move is complete.
/// A move between file systems copies the file and tells `progress` as it goes
/// (Windows shows the shell's own progress instead).
bool moveFileTo(const QString& path, const QString& destDir,
                const CopyProgress& progress = CopyProgress());

#endif // SHELLFILEOPS_H
