#ifndef LOCALCONTENTREADER_H
#define LOCALCONTENTREADER_H

#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

/// One file of the collector's own content, below the game folder.
struct LocalReferrer
{
    QString path;         ///< relative to the game folder with "/", e.g. "Saves/scene/Party.json"
    qint64 size = 0;
    qint64 modified = 0;  ///< ms since the epoch
    QStringList references; ///< distinct ignoring case, as first written
};

/// What reading the local content of a game folder found.
struct LocalContent
{
    QString gameFolder; ///< empty when none is read
    QVector<LocalReferrer> referrers; ///< the files read, sorted by path
    int skipped = 0;    ///< files over the bound, or whose references were cut short
    int unreadable = 0; ///< files that could not be opened or read
};

/// Reads which packages the collector's own scenes, presets and items use: the plain
/// files below the game folder's "Saves" and "Custom" folders (any case) that
/// ReferenceScanner::wanted() names. Links are followed, each folder walked once
/// (known by device and inode); nothing is ever written.
namespace LocalContentReader {

/// A larger file is skipped.
constexpr qint64 maxFileBytes = 256 * 1024 * 1024;

enum class Outcome
{
    Read,
    Skipped,
    Unreadable,
};

/// The content files below `gameFolder`, with size and time but no references yet,
/// sorted by path: what an index compares with what it stored.
QVector<LocalReferrer> find(const QString& gameFolder, const std::atomic<bool>& stop);

/// Fills the references of `file`, one of those find() gave for `gameFolder`.
Outcome read(const QString& gameFolder, LocalReferrer& file);

/// find() and read() of every file found.
LocalContent readAll(const QString& gameFolder, const std::atomic<bool>& stop);

} // namespace LocalContentReader

#endif // LOCALCONTENTREADER_H
