#ifndef HFILE_H
#define HFILE_H

#include "dovetalk_global.h"

#include <QObject>
#include <QString>

/// File system helpers of the library. Every path uses "/" as its only separator.
class DOVETALK_EXPORT HFile : public QObject
{
    Q_OBJECT
public:
    HFile();
    ~HFile() override;

    /// Makes sure the directory exists, creating missing levels from the top down,
    /// and returns the path. A path without an existing prefix (relative, empty)
    /// is returned unchanged and nothing is created.
    static QString mkMutiDir(const QString& path);

    /// Depth-first search below `folder` for an entry named `fileName` (case-sensitive),
    /// in the directory listing's order; a match inside a directory wins over the
    /// directory itself. Directory links are entered once per real directory.
    static bool searchFile(const QString& folder, const QString& fileName, QString& foundPath);

    /// Copies one regular file, never over an existing one, creating the destination's
    /// folders. A relative destination is refused.
    static bool copyFile(const QString& src, const QString& dst);

    /// Copies the plain files of the folder holding `src` into the folder holding `dst`,
    /// skipping files that exist there. Always true.
    static bool copyPath(const QString& src, const QString& dst);
};

#endif // HFILE_H
