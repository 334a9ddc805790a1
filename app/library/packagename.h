#ifndef PACKAGENAME_H
#define PACKAGENAME_H

#include <QString>

/// A package's name split into its parts: "Creator.Package.3" as a file name or a
/// reference, "Creator.Package.latest" as a reference to any version, or
/// "Creator.Package.min3" as a reference to version 3 or any later one.
struct PackageName
{
    QString creator;
    QString package;
    int version = -1;     ///< -1 for "latest" and for a name that does not parse
    bool latest = false;  ///< the version part is "latest" in any capitalisation
    bool minimum = false; ///< the version part is "min" and a number: `version` or later

    bool isValid() const { return !creator.isEmpty(); }
    /// One version only, as a package file's own name is.
    bool isExact() const { return isValid() && !latest && !minimum; }
    /// Whether a package of version `v` satisfies a reference of this name.
    bool admits(int v) const { return latest || (minimum ? v >= version : v == version); }
    /// "Creator.Package": the versions of one package share it (ignoring case).
    QString key() const { return creator + QLatin1Char('.') + package; }

    /// Splits a name without ".var"; the result is invalid unless the name has three
    /// non-empty dot-separated parts and the last is a whole number, "latest" or "min"
    /// followed by a whole number.
    static PackageName parse(const QString& name);
};

#endif // PACKAGENAME_H
