#include "rawzip.h"

#include <QDataStream>
#include <QFile>

#include <array>

namespace RawZip {

namespace {

quint32 crc32(const QByteArray& bytes)
{
    // A byte at a time: benchmarks pack a gigabyte with it.
    static const auto table = [] {
        std::array<quint32, 256> entries{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 crc = i;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
            }
            entries[i] = crc;
        }
        return entries;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

// The raw deflate stream of `data`: qCompress gives it behind a length and a zlib
// header, with a checksum after.
QByteArray deflate(const QByteArray& data)
{
    const QByteArray packed = qCompress(data);
    return packed.mid(6, packed.size() - 10);
}

// Unix mode in the high half, the DOS directory bit in the low one.
quint32 externalAttributes(Member::Kind kind)
{
    switch (kind) {
    case Member::Directory:
        return (quint32(040755) << 16) | 0x10;
    case Member::Link:
        return quint32(0120777) << 16;
    case Member::File:
        break;
    }
    return quint32(0100644) << 16;
}

} // namespace

bool write(const QString& path, const QList<Member>& members)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || members.size() > 0xFFFF) {
        return false;
    }
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint16 version = 20;
    const quint16 utf8Names = 0x0800;
    const quint16 time = 0x7000; // 14:00:00
    const quint16 date = 0x5865; // 2024-03-05
    QByteArray central;
    QDataStream directory(&central, QIODevice::WriteOnly);
    directory.setByteOrder(QDataStream::LittleEndian);
    for (const Member& member : members) {
        const quint32 offset = quint32(file.pos());
        const quint32 crc = crc32(member.data);
        const quint32 size = quint32(member.data.size());
        const QByteArray stored = member.deflated ? deflate(member.data) : member.data;
        const quint32 packedSize = quint32(stored.size());
        const quint16 method = member.deflated ? 8 : 0;
        const quint32 stated = member.statedSize < 0 ? size : quint32(member.statedSize);
        const quint16 nameLength = quint16(member.name.size());
        out << quint32(0x04034b50) << version << utf8Names << method << time << date << crc
            << packedSize << stated << nameLength << quint16(0);
        out.writeRawData(member.name.constData(), member.name.size());
        out.writeRawData(stored.constData(), stored.size());

        directory << quint32(0x02014b50) << quint16((3 << 8) | version) << version << utf8Names
                  << method << time << date << crc << packedSize << stated << nameLength << quint16(0)
                  << quint16(0) << quint16(0) << quint16(0) << externalAttributes(member.kind)
                  << offset;
        directory.writeRawData(member.name.constData(), member.name.size());
    }
    const quint32 centralOffset = quint32(file.pos());
    out.writeRawData(central.constData(), central.size());
    const quint16 count = quint16(members.size());
    out << quint32(0x06054b50) << quint16(0) << quint16(0) << count << count
        << quint32(central.size()) << centralOffset << quint16(0);
    return out.status() == QDataStream::Ok && file.flush();
}

} // namespace RawZip
