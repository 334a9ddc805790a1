#include "indexedpackage.h"

#include "packagename.h"

#include <QStringList>

QString IndexedPackage::name() const
{
    return fileName.endsWith(QLatin1String(".var")) ? fileName.left(fileName.size() - 4) : fileName;
}

QString IndexedPackage::via(int index) const
{
    QStringList chain;
    for (int at = references[index].parent; at >= 0; at = references[at].parent) {
        chain.prepend(references[at].name);
    }
    return chain.join(QLatin1Char('/'));
}

IndexedPackage IndexedPackage::fromFile(const QString& path, qint64 size, qint64 modified)
{
    IndexedPackage result;
    result.path = path;
    result.size = size;
    result.modified = modified;
    result.fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const PackageName parsed = PackageName::parse(result.name());
    if (parsed.isExact()) {
        result.creator = parsed.creator;
        result.package = parsed.package;
        result.version = parsed.version;
    }
    return result;
}

void IndexedPackage::takeDescription(const IndexedPackage& other)
{
    licence = other.licence;
    problem = other.problem;
    unreadable = other.unreadable;
    references = other.references;
    described = other.described;
    content = other.content;
    contentRead = other.contentRead;
    contentComplete = other.contentComplete;
}
