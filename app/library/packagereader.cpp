#include "packagereader.h"

#include "hvararchive.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace PackageReader {

namespace {

// Records every key of `dependencies` and, below each, the keys of its own
// "dependencies", each after the reference it is nested in (`parent`), whose route
// takes `route` characters. False, with the problem set, once a bound is exceeded.
bool collect(const QJsonObject& dependencies, int parent, int depth, qint64 route,
             qint64& text, IndexedPackage& package)
{
    for (auto it = dependencies.begin(); it != dependencies.end(); ++it) {
        if (it.key().isEmpty()) {
            continue;
        }
        text += route + it.key().size();
        if (depth >= maxNesting) {
            package.problem = QStringLiteral("meta.json nests dependencies more than %1 levels deep").arg(maxNesting);
        } else if (package.references.size() >= maxReferences) {
            package.problem = QStringLiteral("meta.json names more than %1 dependencies").arg(maxReferences);
        } else if (text > maxReferenceText) {
            package.problem = QStringLiteral("the dependencies of meta.json take more than %1 characters")
                                  .arg(maxReferenceText);
        }
        if (!package.problem.isEmpty()) {
            return false;
        }
        package.references.append({it.key(), parent});
        const QJsonObject nested = it.value().toObject().value(QLatin1String("dependencies")).toObject();
        if (!nested.isEmpty() &&
            !collect(nested, package.references.size() - 1, depth + 1,
                     route + it.key().size() + 1, text, package)) {
            return false;
        }
    }
    return true;
}

// Why the file at `path` cannot be read now, or has changed from `size` and `modified`;
// empty when neither. Asked only after a failure, which then says nothing of the content.
QString accessProblem(const QString& path, qint64 size, qint64 modified)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return file.errorString();
    }
    if (file.size() != size || file.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch() != modified) {
        return QStringLiteral("the file changed while it was read");
    }
    return QString();
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
        const QString access = accessProblem(path, size, modified);
        if (!access.isEmpty()) {
            package.problem = QStringLiteral("cannot read: ") + access;
            package.unreadable = true;
        }
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
    qint64 text = 0;
    if (!collect(top.value(QLatin1String("dependencies")).toObject(), -1, 0, 0, text, package)) {
        // A broken package refers to nothing, as the database keeps it.
        package.references.clear();
    }
}

} // namespace PackageReader
