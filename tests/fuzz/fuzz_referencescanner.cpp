// Scans arbitrary bytes for package references, whole and in chunks whose size the
// first byte chooses: both must find the same names, each a well-formed one.
#include "packagename.h"
#include "referencescanner.h"

#include <cstdint>
#include <cstdlib>

namespace {

QStringList scanned(ReferenceScanner::Kind kind, const char* data, size_t size, size_t chunk)
{
    ReferenceScanner scanner(kind);
    for (size_t at = 0; at < size; at += chunk) {
        scanner.feed(data + at, qint64(qMin(chunk, size - at)));
    }
    return scanner.references();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const auto kind = (bytes[0] & 0x80) ? ReferenceScanner::Lines : ReferenceScanner::Json;
    const size_t chunk = (bytes[0] & 0x7F) + 1;
    const char* data = reinterpret_cast<const char*>(bytes + 1);
    const QStringList whole = scanned(kind, data, size - 1, size);
    if (whole != scanned(kind, data, size - 1, chunk) || whole.size() > ReferenceScanner::maxReferences) {
        abort();
    }
    for (const QString& name : whole) {
        const PackageName parsed = PackageName::parse(name);
        const bool minimum = name.section(QLatin1Char('.'), 2).startsWith(QLatin1String("min"));
        if ((!parsed.isValid() && !minimum) || name.contains(QLatin1Char('/')) ||
            name.contains(QLatin1Char(':')) || name.contains(QChar(0))) {
            abort();
        }
    }
    return 0;
}
