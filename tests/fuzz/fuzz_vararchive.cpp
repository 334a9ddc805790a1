// Reads arbitrary bytes as a package file: the in-process archive reader, the limits on
// meta.json and the extraction of nested dependencies.
#include "hvararchive.h"
#include "packagereader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

QString packagePath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    static QTemporaryDir folder;
    if (!folder.isValid()) {
        abort();
    }
    packagePath = folder.filePath(QStringLiteral("Creator.Package.1.var"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QFile file(packagePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        abort();
    }
    file.close();

    HVarArchive archive;
    if (archive.open(packagePath) && !archive.members().isEmpty()) {
        QByteArray bytes;
        const bool read = archive.read(archive.members().constFirst(), bytes, 1 << 16);
        if (read != archive.error().isEmpty() || bytes.size() > (1 << 16)) {
            abort();
        }
    }
    const IndexedPackage package = PackageReader::read(packagePath, qint64(size), 0);
    // A package is either readable or broken with a reason, never both.
    if (!package.problem.isEmpty() && (!package.references.isEmpty() || !package.licence.isEmpty())) {
        abort();
    }
    return 0;
}
