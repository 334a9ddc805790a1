#ifndef RAWZIP_H
#define RAWZIP_H

#include <QByteArray>
#include <QList>
#include <QString>

/// Writes zip archives byte by byte, so that tests can hold members that no file
/// system and no archiver would make: names with "..", line breaks or a thousand
/// characters, directories and links where files are expected.
namespace RawZip {

struct Member
{
    enum Kind
    {
        File,
        Directory,
        Link, ///< `data` is the link's target.
    };
    QByteArray name;
    QByteArray data;
    Kind kind = File;
    bool deflated = false; ///< packed as most archivers pack, else stored as it is
    /// The unpacked size the headers state, when not the size of `data`.
    qint64 statedSize = -1;
};

/// Writes the members into a new zip at `path`.
bool write(const QString& path, const QList<Member>& members);

} // namespace RawZip

#endif // RAWZIP_H
