#include "packagename.h"

namespace {

// A whole number of digits only (toInt would also take signs and blanks); -1 otherwise.
int wholeNumber(const QStringRef& text)
{
    if (text.isEmpty()) {
        return -1;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return -1;
        }
    }
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : -1;
}

} // namespace

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
    } else if (last.startsWith(QLatin1String("min"), Qt::CaseInsensitive)) {
        result.version = wholeNumber(last.mid(3));
        result.minimum = result.version >= 0;
        if (!result.minimum) {
            return result;
        }
    } else {
        result.version = wholeNumber(last);
        if (result.version < 0) {
            return result;
        }
    }
    result.creator = name.left(first);
    result.package = name.mid(first + 1, second - first - 1);
    return result;
}
