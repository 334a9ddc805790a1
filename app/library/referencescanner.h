#ifndef REFERENCESCANNER_H
#define REFERENCESCANNER_H

#include "caselesskey.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

/// Finds the packages one content member uses: each JSON string (or, for a list
/// member, each line) that begins with "Creator.Package.Version:/", fed in chunks of
/// any size. Version is a whole number, "latest" in any case or "minN"; "SELF:/"
/// names the package itself and is no reference.
///
/// The work is bounded: only the bytes just before each ":/" are looked at, so a
/// string of any length costs one pass and no memory; names longer than
/// maxNameBytes, holding NUL, control characters, "\" or invalid UTF-8, or beginning
/// with a byte-order mark are no references; past maxReferences distinct names the
/// rest are dropped.
/// Bytes that are not JSON or not UTF-8 are scanned as text all the same.
class ReferenceScanner
{
public:
    enum Kind
    {
        Json,  ///< references are JSON strings; escapes are decoded
        Lines, ///< references are lines (".cslist"), taken as written
    };

    /// The longest "Creator.Package.Version" taken, in UTF-8 bytes once decoded.
    static constexpr int maxNameBytes = 200;
    /// Distinct references kept per member.
    static constexpr int maxReferences = 2000;

    explicit ReferenceScanner(Kind kind = Json);

    /// Whether a member or file of this name is read for references (".json", ".vap",
    /// ".vaj", ".vam", ".vmi" or ".cslist" in any case), and as which kind.
    static bool wanted(const QString& name, Kind* kind = nullptr);

    /// Scans the next `size` bytes of the member.
    void feed(const char* data, qint64 size);

    /// The distinct references met so far (ignoring case), each as first written
    /// ("Creator.Package.12"), in the order met.
    const QStringList& references() const { return found; }
    /// Whether distinct references were dropped for passing maxReferences.
    bool overflowed() const { return dropped; }

private:
    // Looks at the text that ends at stream offset `end`, where a decoded "/" ends.
    void candidate(qint64 end);
    // The last `length` bytes before stream offset `end` (within the current chunk),
    // in one piece; `length` is cut to what the stream holds.
    const char* view(qint64 end, int& length);
    // Whether `text` (from just after the opening quote or the line start up to the
    // "/") is a reference; its name is then in `name`.
    bool referenceIn(const char* text, int length);
    void keep(const QString& name);

    Kind kind;
    qint64 chunkStart = 0; // stream offset of the chunk being fed
    const char* chunk = nullptr;
    qint64 chunkSize = 0;
    QByteArray tail;       // the stream's last bytes before the chunk
    QByteArray joined;     // tail and chunk start, for views that span both
    qint64 joinedStart = -1; // the chunk `joined` was made for
    QVector<qint64> pendingEscapes; // ends of "\u002f" escapes cut by a chunk's end
    qint64 scannedEnd = 0;  // bytes before this were searched for an opening ...
    qint64 lastOpening = -1; // ... and the last found begins here (-1: none near)
    qint64 lastStart = -1;  // the last string or line start looked at for a reference
    QByteArray name;          // the name referenceIn() found, decoded
    QSet<QByteArray> spellings; // names met, as written
    QStringList found;
    QSet<CaselessKey> known;
    bool dropped = false;
};

#endif // REFERENCESCANNER_H
