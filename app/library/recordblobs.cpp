#include "recordblobs.h"

#include <QDataStream>
#include <QtEndian>

namespace {

using RecordBlobs::TextPool;

// Writes numbers and strings into `bytes`, as BlobReader reads them; false when they
// cannot be encoded, as when memory runs out.
template<typename Write>
bool pack(QByteArray& bytes, Write write)
{
    bytes.clear();
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_12);
    // Strings are then stored as they lie in memory, without swapping every character.
    out.setByteOrder(QDataStream::LittleEndian);
    write(out);
    return out.status() == QDataStream::Ok;
}

// One copy of each text for all the references that hold it: a library names the same
// few thousand packages hundreds of thousands of times.
QString pooled(TextPool& pool, QStringView text)
{
    auto found = pool.constFind(text);
    if (found == pool.constEnd()) {
        const QString copy = text.toString();
        found = pool.insert(QStringView(copy), copy);
    }
    return found.value();
}

// Reads what pack() wrote (numbers and strings, a string as its length in bytes,
// 0xffffffff for a null one, and its UTF-16 characters, all little-endian) without a
// stream: the load of a whole library decodes hundreds of thousands of them. Each
// text is pooled.
class BlobReader
{
public:
    BlobReader(const QByteArray& bytes, TextPool& pool)
        : at(bytes.constData()), end(at + bytes.size()), pool(pool)
    {
    }

    bool number(quint32& value)
    {
        if (end - at < 4) {
            return false;
        }
        value = qFromLittleEndian<quint32>(at);
        at += 4;
        return true;
    }

    bool text(QString& text)
    {
        quint32 length = 0;
        if (!number(length)) {
            return false;
        }
        if (length == 0xffffffff) {
            text = QString();
            return true;
        }
        if (length % 2 != 0 || quint32(end - at) < length) {
            return false;
        }
        const int characters = int(length / 2);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        text = pooled(pool, QStringView(reinterpret_cast<const QChar*>(at), characters));
#else
        QString swapped(characters, Qt::Uninitialized);
        qFromLittleEndian<ushort>(at, characters, swapped.data());
        text = pooled(pool, swapped);
#endif
        at += length;
        return true;
    }

    // How many items of at least `itemBytes` bytes the rest can hold at most: a
    // damaged count reserves no more than that.
    int room(quint32 count, int itemBytes) const { return int(qMin<qint64>(count, (end - at) / itemBytes)); }
    bool atEnd() const { return at == end; }

private:
    const char* at;
    const char* end;
    TextPool& pool;
};

} // namespace

namespace RecordBlobs {

bool packReferences(const QVector<PackageReference>& references, QByteArray& bytes)
{
    return pack(bytes, [&references](QDataStream& out) {
        out << quint32(references.size());
        for (const PackageReference& reference : references) {
            out << reference.name << qint32(reference.parent);
        }
    });
}

// Whether the content was read completely, its members, then its references with the
// index of their member: a member is named once for all the references it holds.
bool packContent(const IndexedPackage& package, QByteArray& bytes)
{
    return pack(bytes, [&package](QDataStream& out) {
        QStringList members;
        QVector<quint32> memberOf;
        for (const ContentReference& reference : package.content) {
            if (members.isEmpty() || members.last() != reference.member) {
                members << reference.member;
            }
            memberOf << quint32(members.size() - 1);
        }
        out << quint32(package.contentComplete) << quint32(members.size());
        for (const QString& member : qAsConst(members)) {
            out << member;
        }
        out << quint32(package.content.size());
        for (int i = 0; i < package.content.size(); ++i) {
            out << package.content[i].name << memberOf[i];
        }
    });
}

bool packNames(const QStringList& names, QByteArray& bytes)
{
    return pack(bytes, [&names](QDataStream& out) {
        out << quint32(names.size());
        for (const QString& name : names) {
            out << name;
        }
    });
}

// False for bytes that are not what packReferences wrote.
bool unpackReferences(const QByteArray& bytes, TextPool& pool,
                      QVector<PackageReference>& references)
{
    BlobReader in(bytes, pool);
    references.clear();
    quint32 count = 0;
    if (!in.number(count)) {
        return false;
    }
    references.reserve(in.room(count, 8));
    PackageReference reference;
    quint32 parent = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (!in.text(reference.name) || !in.number(parent)) {
            return false;
        }
        // A parent comes before its children, which keeps every route finite.
        reference.parent = qint32(parent);
        if (reference.parent < -1 || reference.parent >= int(i)) {
            return false;
        }
        references.append(reference);
    }
    return in.atEnd();
}

// False for bytes that are not what packContent wrote.
bool unpackContent(const QByteArray& bytes, TextPool& pool, IndexedPackage& package)
{
    BlobReader in(bytes, pool);
    quint32 complete = 0;
    quint32 count = 0;
    if (!in.number(complete) || !in.number(count)) {
        return false;
    }
    QStringList members;
    members.reserve(in.room(count, 4));
    for (quint32 i = 0; i < count; ++i) {
        QString member;
        if (!in.text(member)) {
            return false;
        }
        members << member;
    }
    if (!in.number(count)) {
        return false;
    }
    package.content.clear();
    package.content.reserve(in.room(count, 8));
    ContentReference reference;
    quint32 member = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (!in.text(reference.name) || !in.number(member) || member >= quint32(members.size())) {
            return false;
        }
        reference.member = members[int(member)];
        package.content.append(reference);
    }
    package.contentComplete = complete != 0;
    package.contentRead = true;
    return in.atEnd();
}

bool unpackNames(const QByteArray& bytes, TextPool& pool, QStringList& names)
{
    BlobReader in(bytes, pool);
    quint32 count = 0;
    if (!in.number(count)) {
        return false;
    }
    names.clear();
    names.reserve(in.room(count, 4));
    QString name;
    for (quint32 i = 0; i < count; ++i) {
        if (!in.text(name)) {
            return false;
        }
        names << name;
    }
    return in.atEnd();
}

} // namespace RecordBlobs
