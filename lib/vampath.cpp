#include "vampath.h"

namespace {

QString keyOf(const QString& keyPath)
{
    static const QString storables = QStringLiteral("atoms/storables/");
    const int at = keyPath.indexOf(storables);
    if (at < 0) {
        return keyPath;
    }
    const int start = at + storables.size();
    const int end = keyPath.indexOf(QLatin1Char('/'), start);
    return end < 0 ? keyPath.mid(start) : keyPath.mid(start, end - start);
}

} // namespace

VamPath::VamPath(const QString& keyPath, const QString& value) : key(keyOf(keyPath)), value(value)
{
}
