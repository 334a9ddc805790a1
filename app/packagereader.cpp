#include "packagereader.h"

#include "hvararchive.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace PackageReader {

namespace {

// Records every key of `dependencies` and, below each, the keys of its own
// "dependencies", with the chain of names that leads there.
void collect(const QJsonObject& dependencies, const QStringList& chain,
             QVector<PackageReference>& references)
{
    if (chain.size() >= maxNesting) {
        return;
    }
    const QString via = chain.join(QLatin1Char('/'));
    for (auto it = dependencies.begin(); it != dependencies.end(); ++it) {
        if (it.key().isEmpty()) {
            continue;
        }
        references.append({it.key(), via});
        const QJsonObject nested = it.value().toObject().value(QLatin1String("dependencies")).toObject();
        if (!nested.isEmpty()) {
            collect(nested, chain + QStringList(it.key()), references);
        }
    }
}

} // namespace

IndexedPackage read(const QString& path, qint64 size, qint64 modified)
{
    IndexedPackage package = IndexedPackage::fromFile(path, size, modified);
    package.described = true;
    HVarArchive archive;
    QByteArray metaJson;
    if (!archive.open(path) || !archive.read(QStringLiteral("meta.json"), metaJson)) {
        package.problem = archive.error();
    } else {
        describe(metaJson, package);
    }
    if (package.problem.isEmpty() && package.version < 0) {
        package.problem = QStringLiteral("the file name is not Creator.Package.Version.var");
    }
    return package;
}

void describe(const QByteArray& metaJson, IndexedPackage& package)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(metaJson, &error);
    if (error.error != QJsonParseError::NoError) {
        package.problem = QStringLiteral("meta.json is not valid JSON: %1 at byte %2")
                              .arg(error.errorString())
                              .arg(error.offset);
        return;
    }
    if (!document.isObject()) {
        package.problem = QStringLiteral("meta.json is not a JSON object");
        return;
    }
    const QJsonObject top = document.object();
    package.licence = top.value(QLatin1String("licenseType")).toString();
    collect(top.value(QLatin1String("dependencies")).toObject(), QStringList(), package.references);
}

} // namespace PackageReader
