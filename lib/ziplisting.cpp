#include "ziplisting.h"

#include <QStringList>

#include <limits>

namespace {

const int dateTimeWidth = 19;
const int attributeColumn = 20;
const int sizeColumn = 25;
const int sizeWidth = 13;
const int pathColumn = 53;

// The lines above and below the members: groups of hyphens split by blanks. Matching
// the whole line keeps an archive name that ends in hyphens from passing for one.
bool isDashedLine(const QString& line)
{
    if (!line.startsWith(QLatin1String("------"))) {
        return false;
    }
    for (const QChar c : line) {
        if (c != QLatin1Char('-') && c != QLatin1Char(' ')) {
            return false;
        }
    }
    return true;
}

// The largest size there is when the column holds none (no number or a negative
// one): read as 0, such a member would pass every size limit.
qint64 sizeColumnValue(const QString& line)
{
    const QString column = line.mid(sizeColumn, sizeWidth);
    bool ok = false;
    const qint64 size = column.mid(column.lastIndexOf(QLatin1Char(' ')) + 1).toLongLong(&ok);
    return ok && size >= 0 ? size : std::numeric_limits<qint64>::max();
}

} // namespace

void parseSevenZipListing(const QString& output, const QString& varPath, QVector<FILE_IN_VAR>& list)
{
    QStringList lines = output.split(QLatin1Char('\n'));
    // What follows the last line end is empty, or a line that was cut off.
    lines.removeLast();
    bool inMembers = false;
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (isDashedLine(line)) {
            if (inMembers) {
                return;
            }
            inMembers = true;
            continue;
        }
        if (!inMembers || line.size() <= pathColumn ||
            line.at(attributeColumn) == QLatin1Char('D')) {
            continue;
        }
        FILE_IN_VAR record;
        record.filePath = line.mid(pathColumn).replace(QLatin1Char('\\'), QLatin1Char('/'));
        record.varPath = varPath;
        record.dateTime = line.left(dateTimeWidth);
        record.size = sizeColumnValue(line);
        list.append(record);
    }
}
