#ifndef CASELESSKEY_H
#define CASELESSKEY_H

#include <QHash>
#include <QString>

/// A string as a hash key that ignores case, without making a lower-case copy: the
/// library index looks up hundreds of thousands of names per catalog.
struct CaselessKey
{
    QString text;

    bool operator==(const CaselessKey& other) const
    {
        return text.compare(other.text, Qt::CaseInsensitive) == 0;
    }
};

inline uint qHash(const CaselessKey& key, uint seed = 0)
{
    uint h = seed;
    for (const QChar c : key.text) {
        const ushort u = c.unicode();
        // ASCII letters fold by one bit; only other characters need the tables.
        h = 31 * h + (u < 0x80 ? ushort(u >= 'A' && u <= 'Z' ? u | 0x20 : u) : c.toCaseFolded().unicode());
    }
    return h;
}

#endif // CASELESSKEY_H
