#ifndef CONTENTKIND_H
#define CONTENTKIND_H

#include <QString>

/// What a package member is for the content list, decided by the text behind the
/// last "." of its path.
struct ContentKind
{
    enum Type
    {
        Picture,  // jpg, png: its own picture, within a size limit
        Document, // json and the game's item files: listed only when no picture stands for them
        Other,    // sounds, scripts and everything else
    };

    static ContentKind of(const QString& memberPath);

    /// Index of the first category marker found in the path (ignoring case), or -1.
    static int categoryOf(const QString& memberPath);
    /// The label prefix of a category, such as "【01 Scene】".
    static QString categoryLabel(int category);

    /// The largest picture taken out of an archive, big images on or not: a package
    /// that states more must not fill the disk with its copy.
    static constexpr qint64 maxExtractedSize = qint64(256) * 1024 * 1024;

    /// Whether a picture of `size` bytes is taken out of the archive.
    bool fits(qint64 size, bool showBigImg) const;

    Type type = Other;
    /// Picture of the icon folder that stands for the member (for a picture: when too big).
    QString placeholder;
    /// Only JPEG pictures stand for a scene, look, clothing item and the like.
    bool categorised = false;
    /// Largest size extracted while big images are off; -1 for no picture.
    qint64 sizeLimit = -1;
};

#endif // CONTENTKIND_H
