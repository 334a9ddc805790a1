#ifndef INDEXEDPACKAGE_H
#define INDEXEDPACKAGE_H

#include "contentreferences.h"

#include <QString>
#include <QVector>

/// One package named by another package's meta.json.
struct PackageReference
{
    QString name;    ///< as written in meta.json, e.g. "Creator.Package.3" or "Creator.Package.latest"
    int parent = -1; ///< -1 for a direct dependency; for a nested one the index, in the same
                     ///< package's references, of the reference it was recorded under
};

/// One package file as the library index knows it.
struct IndexedPackage
{
    QString path;        ///< full path of the file
    qint64 size = 0;
    qint64 modified = 0; ///< ms since the epoch
    QString fileName;    ///< "Creator.Package.3.var"
    QString creator;     ///< parsed from the file name; empty when the name does not parse
    QString package;
    int version = -1;    ///< -1 when the name does not parse
    QString licence;     ///< licenseType of meta.json, may be empty
    QString problem;     ///< empty for a readable package; else a one-line reason
    /// The problem is one of access, not of content ("cannot read: …"): it is never
    /// stored, so the file is read again on the next refresh.
    bool unreadable = false;
    QVector<PackageReference> references; ///< each after the one it was recorded under
    bool described = false; ///< whether the fields above have been read from the file
    /// What its content uses, as far as the content pass has read it: nothing until then.
    QVector<ContentReference> content;
    bool contentRead = false;     ///< whether the content pass has read the file
    bool contentComplete = false; ///< every content member read, no reference dropped

    /// Takes what was read of `other`, a record of the same file: its description and
    /// its content references.
    void takeDescription(const IndexedPackage& other);

    /// fileName without ".var".
    QString name() const;
    /// The chain of names through which references[index] was recorded, joined with "/"
    /// (e.g. "A.B.1/C.D.2"); empty for a direct dependency.
    QString via(int index) const;
    /// Whether the package can satisfy references: readable, with a parsed name.
    bool isUsable() const { return problem.isEmpty() && version >= 0; }
    /// Whether the content pass still has to read the file: a package that is not a
    /// readable archive has no content to read.
    bool awaitsContent() const { return described && problem.isEmpty() && !contentRead; }

    /// The order of packages by path.
    static bool pathLess(const IndexedPackage& a, const IndexedPackage& b) { return a.path < b.path; }
    /// A package of the file at `path` with its name parsed; nothing read yet.
    static IndexedPackage fromFile(const QString& path, qint64 size, qint64 modified);
};

// Both are moved about in memory without copying their strings, as a library's
// tens of thousands of records are when their vectors grow.
Q_DECLARE_TYPEINFO(PackageReference, Q_MOVABLE_TYPE);
Q_DECLARE_TYPEINFO(IndexedPackage, Q_MOVABLE_TYPE);

#endif // INDEXEDPACKAGE_H
