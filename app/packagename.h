#ifndef PACKAGENAME_H
#define PACKAGENAME_H

#include <QString>

/// A package's name split into its parts: "Creator.Package.3" as a file name or a
/// reference, or "Creator.Package.latest" as a reference to any version.
struct PackageName
{
    QString creator;
    QString package;
    int version = -1;    ///< -1 for "latest" and for a name that does not parse
    bool latest = false; ///< the version part is "latest" in any capitalisation

    bool isValid() const { return !creator.isEmpty(); }
    /// "Creator.Package": the versions of one package share it (ignoring case).
    QString key() const { return creator + QLatin1Char('.') + package; }

    /// Splits a name without ".var"; the result is invalid unless the name has three
    /// non-empty dot-separated parts and the last is a whole number or "latest".
    static PackageName parse(const QString& name);
};

#endif // PACKAGENAME_H
