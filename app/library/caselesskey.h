#ifndef CASELESSKEY_H
#define CASELESSKEY_H

#include <QHash>
#include <QString>

/// `c` with its case folded: ASCII letters by one bit, other characters through Qt's
/// tables. The library index folds hundreds of thousands of names per catalog.
inline ushort foldedCase(QChar c)
{
    const ushort u = c.unicode();
    return u < 0x80 ? ushort(u >= 'A' && u <= 'Z' ? u | 0x20 : u) : c.toCaseFolded().unicode();
}

/// Compares two strings ignoring case: negative, 0 or positive.
inline int compareCaseless(const QString& a, const QString& b)
{
    const int common = qMin(a.size(), b.size());
    const QChar* x = a.constData();
    const QChar* y = b.constData();
    // Copies of one string, as the library index shares its names, need no reading.
    if (x == y) {
        return a.size() - b.size();
    }
    for (int i = 0; i < common; ++i) {
        if (x[i] != y[i]) {
            const ushort u = foldedCase(x[i]);
            const ushort v = foldedCase(y[i]);
            if (u != v) {
                return u < v ? -1 : 1;
            }
        }
    }
    return a.size() - b.size();
}

/// The order of names in every report: ignoring case, and names that differ only in
/// case as written, so that the order never depends on the input's.
inline bool caselessLess(const QString& a, const QString& b)
{
    const int c = compareCaseless(a, b);
    return c != 0 ? c < 0 : a < b;
}

/// A string as a hash key that ignores case, without making a lower-case copy.
struct CaselessKey
{
    QString text;

    bool operator==(const CaselessKey& other) const { return compareCaseless(text, other.text) == 0; }
};

/// A hash of `text` that ignores case.
inline uint caselessHash(const QString& text, uint seed = 0)
{
    uint h = seed;
    for (const QChar c : text) {
        h = 31 * h + foldedCase(c);
    }
    return h;
}

inline uint qHash(const CaselessKey& key, uint seed = 0)
{
    return caselessHash(key.text, seed);
}

#endif // CASELESSKEY_H
