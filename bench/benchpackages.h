#ifndef BENCHPACKAGES_H
#define BENCHPACKAGES_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// The packages that the benchmarks make.
namespace BenchPackages {

/// A 512x512 JPEG full of noise, one for each seed.
QByteArray photo(int seed);

/// The members of a package shaped like a large look pack: pictures of scenes,
/// clothing, hair and presets with the files they stand for, topped up with sounds to
/// `total` members.
QMap<QString, QByteArray> largePackage(int pictures, int total);

/// How many items the content list shows for `members`: all but the documents (the
/// description, and the files that pictures stand for).
int contentItems(const QMap<QString, QByteArray>& members);

/// `count` real packages below `root`: groups of up to three versions of one package,
/// each meta.json naming 0 to 10 dependencies (exact versions, ".latest", some with
/// nested dependencies, a few that no package satisfies). Returns their names without
/// ".var"; none when one could not be written.
QStringList makeLibrary(const QString& root, int count);

} // namespace BenchPackages

#endif // BENCHPACKAGES_H
