#include "packagename.h"

#include <QStringList>

QString PackageName::keyOf(const QString& creator, const QString& package)
{
    return (creator + QLatin1Char('.') + package).toLower();
}

PackageName PackageName::parse(const QString& name)
{
    PackageName result;
    const QStringList parts = name.split(QLatin1Char('.'));
    if (parts.size() != 3 || parts[0].isEmpty() || parts[1].isEmpty() || parts[2].isEmpty()) {
        return result;
    }
    const QString& last = parts[2];
    if (last.compare(QLatin1String("latest"), Qt::CaseInsensitive) == 0) {
        result.latest = true;
    } else {
        // Digits only: toInt would also take signs and blanks.
        for (const QChar c : last) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
                return result;
            }
        }
        bool ok = false;
        result.version = last.toInt(&ok);
        if (!ok) {
            result.version = -1;
            return result;
        }
    }
    result.creator = parts[0];
    result.package = parts[1];
    return result;
}
