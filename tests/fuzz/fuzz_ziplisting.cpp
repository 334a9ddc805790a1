// Feeds arbitrary text to the parser of 7-Zip's listing output.
#include "ziplisting.h"

#include <QString>
#include <QVector>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString output = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const QString archive = QStringLiteral("fuzz.var");
    QVector<FILE_IN_VAR> records;
    parseSevenZipListing(output, archive, records);
    // What the inspection relies on: a member has a path with "/" as its only
    // separator, and every record is a fresh one.
    for (const FILE_IN_VAR& record : records) {
        if (record.filePath.isEmpty() || record.filePath.contains(QLatin1Char('\\')) ||
            record.filePath.contains(QLatin1Char('\n')) || record.varPath != archive ||
            record.dateTime.size() > 19 || record.size < 0 || record.mark != 0) {
            abort();
        }
    }
    return 0;
}
