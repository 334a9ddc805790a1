#ifndef TESTARCHIVE_H
#define TESTARCHIVE_H

#include <QByteArray>
#include <QColor>
#include <QMap>
#include <QString>
#include <QStringList>

/// Builds real archives with the real 7-Zip program for the tests.
namespace TestArchive {

/// The 7-Zip program the tests use, found as the library finds it; empty when missing.
QString sevenZip();

/// Packs `members` (path inside the archive -> content) with `7z a` into `archivePath`.
/// `extraArgs` go before the archive name (for example "-pSECRET"). False when 7-Zip failed.
bool create(const QString& archivePath, const QMap<QString, QByteArray>& members,
            const QStringList& extraArgs = {QStringLiteral("-tzip")});

/// A package description whose "dependencies" name each key with its licence type;
/// an empty type leaves the licence out.
QByteArray metaJson(const QMap<QString, QString>& dependencies = {});

/// A small picture of the given size in pixels, filled with one colour.
QByteArray picture(int width = 64, int height = 64, const char* format = "JPG",
                   const QColor& color = QColor(200, 40, 40));

/// A picture padded at its end to exactly `size` bytes: a member of a chosen size
/// that still decodes.
QByteArray paddedPicture(int size, const char* format = "JPG");

} // namespace TestArchive

#endif // TESTARCHIVE_H
