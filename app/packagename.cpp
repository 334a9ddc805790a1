#include "packagename.h"

PackageName PackageName::parse(const QString& name)
{
    PackageName result;
    // Exactly two dots, none at either end or side by side.
    const int first = name.indexOf(QLatin1Char('.'));
    const int second = first > 0 ? name.indexOf(QLatin1Char('.'), first + 1) : -1;
    if (second <= first + 1 || second == name.size() - 1 || name.indexOf(QLatin1Char('.'), second + 1) >= 0) {
        return result;
    }
    const QStringRef last = name.midRef(second + 1);
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
    result.creator = name.left(first);
    result.package = name.mid(first + 1, second - first - 1);
    return result;
}
