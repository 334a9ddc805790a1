#ifndef LIBRARYCATALOG_H
#define LIBRARYCATALOG_H

#include "caselessindex.h"
#include "indexedpackage.h"
#include "localcontentreader.h"
#include "packagepresence.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <mutex>

/// Which references make one package depend on another: those its description
/// declares, those its content uses, or both.
enum class DependencySource
{
    Declared,
    Content,
    Both,
};

/// An immutable snapshot of the library index for one listed folder, with the
/// look-up tables that the queries need, built once.
///
/// Names compare ignoring case, as the game's file names do on Windows. Only usable
/// packages (readable, with a parsed name) count as present.
///
/// A referrer is a package, by its index, or one of the collector's own files, by
/// packages().size() plus its index in local().referrers; local files refer by their
/// content only.
class LibraryCatalog
{
public:
    LibraryCatalog() = default;
    /// Takes the packages in any order; they are kept sorted by path.
    explicit LibraryCatalog(QVector<IndexedPackage> packages, LocalContent local = LocalContent());

    /// A catalog to share between threads. Freeing one of a large library takes longer
    /// than a frame: the last owner on the GUI thread leaves that to another thread.
    static std::shared_ptr<const LibraryCatalog> shared(QVector<IndexedPackage> packages,
                                                        LocalContent local = LocalContent());

    const QVector<IndexedPackage>& packages() const { return all; }
    /// The collector's own files that were read, below the game folder.
    const LocalContent& local() const { return locals; }
    /// The name of a referrer, made once: packages()[index].name(), or a local file's
    /// path relative to the game folder ("Saves/scene/Party.json").
    const QString& nameOf(int index) const { return names[index]; }
    /// Each referrer's place in the order of names (caselessLess); referrers of one name
    /// share their place. Made on first use.
    const QVector<int>& namePlaces() const;
    /// The full path of a referrer's file.
    QString pathOf(int index) const;
    /// The index of the package at `path`, or -1.
    int indexOf(const QString& path) const;

    /// Whether the reference `name` is satisfied, and by which packages.
    Presence presence(const QString& name) const { return present.find(name); }
    /// Indexes of the present versions of "Creator.Package", lowest version first.
    QVector<int> versions(const QString& creatorPackage) const { return present.versions(creatorPackage); }
    /// Indexes of the present packages of this name (without ".var").
    QVector<int> named(const QString& name) const { return byName.values(name); }
    /// The referrers (usable or not) that hold a reference of `source` to exactly this
    /// name, each once, in order; declared ones direct or nested.
    QVector<int> referrers(const QString& name, DependencySource source = DependencySource::Declared) const;
    /// The names of "Creator.Package" referenced by `source` that admit more than one
    /// version ("latest", "minN").
    QStringList openReferences(const QString& creatorPackage,
                               DependencySource source = DependencySource::Declared) const;
    /// Every name referenced by `source`, once, in one of the spellings used.
    QStringList referencedNames(DependencySource source = DependencySource::Declared) const;
    /// Every "Creator.Package" of which some version is present.
    QStringList packageKeys() const { return present.keys(); }

private:
    // The referrers of each name of one source, and its open names by "Creator.Package".
    struct References
    {
        CaselessIndex referrers;
        QStringList openNames;
        CaselessIndex openByKey; // as indexes into `openNames`
        void group();
        QStringList open(const QString& creatorPackage) const;
    };
    // The content's references, grouped on first use: a refresh, and a report that
    // asks for declared dependencies only, never pay for them.
    const References& content() const;

    QVector<IndexedPackage> all;
    LocalContent locals;
    QVector<QString> names;
    PackagePresence present;
    CaselessIndex byName;
    References declared;
    mutable References used;
    mutable std::once_flag usedGrouped;
    mutable QVector<int> places;
    mutable std::once_flag placesMade;
};

#endif // LIBRARYCATALOG_H
