#ifndef HVARARCHIVE_H
#define HVARARCHIVE_H

#include "dovetalk_global.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

struct zip;

/// Reads a package archive in process, without starting 7-Zip: opens it, lists its
/// members and reads one member into memory.
///
/// Reading is bounded: a member larger than the limit, one whose stored sizes do not
/// match what it unpacks to, an encrypted one and one whose name the archive holds
/// twice are refused with a reason instead of being read. A damaged, truncated or
/// non-zip file fails to open, again with a reason. One HVarArchive belongs to one
/// thread at a time; separate objects may read in parallel.
class DOVETALK_EXPORT HVarArchive
{
public:
    /// The largest member that read() accepts unless told otherwise.
    static constexpr qint64 defaultLimit = 4 * 1024 * 1024;

    HVarArchive() = default;
    ~HVarArchive();
    HVarArchive(const HVarArchive&) = delete;
    HVarArchive& operator=(const HVarArchive&) = delete;

    /// Opens the archive at `path`, closing one opened before. On failure error()
    /// tells why.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return archive != nullptr; }

    /// The members' paths inside the archive ("/" as separator), directories included
    /// with their trailing "/", in the archive's order.
    QStringList members() const;

    /// Whether read() would try to unpack `member`: it is there once, unencrypted,
    /// at most `limit` bytes and packed in a way this reader knows. Its data is not
    /// looked at. When not, error() tells why.
    bool readable(const QString& member, qint64 limit = defaultLimit);

    /// The CRC-32 that the archive's directory states for `member`, found without
    /// reading its data; false (with a reason) when the member is not there once or
    /// its entry gives none.
    bool statedCrc(const QString& member, quint32& crc);

    /// Reads the member `member` whole into `data`, if it is at most `limit` bytes.
    /// On refusal `data` is empty and error() tells why.
    bool read(const QString& member, QByteArray& data, qint64 limit = defaultLimit);

    /// Receives a member's bytes piece by piece; returns false to stop reading.
    using Consumer = std::function<bool(const char* data, qint64 size)>;

    /// Unpacks `member`, if it is at most `limit` bytes, in pieces of at most
    /// `chunkSize` bytes handed to `consume`, keeping no more than one piece in memory.
    /// Refuses what read() refuses, and fails when the member unpacks to more or
    /// fewer bytes than it states (noticed once it does) or when `consume` stops it.
    bool stream(const QString& member, const Consumer& consume, qint64 limit = defaultLimit,
                int chunkSize = 64 * 1024);

    /// One line saying why the last open(), read() or stream() failed; empty after a success.
    QString error() const { return reason; }

private:
    bool fail(const QString& why);
    // Index of the only member named `member`; -1 (with a reason) when there is none
    // or more than one.
    qint64 locate(const QString& member);
    // Index of `member` when readable(), with its size; -1 (with a reason) when not.
    qint64 entry(const QString& member, qint64 limit, qint64& size);
    // Unpacks the member at `index`, stated to be `expected` bytes, into `buffer`,
    // handing each fill of its `capacity` bytes (and the last, shorter one) to `consume`.
    bool unpack(qint64 index, const QString& member, qint64 expected, char* buffer, qint64 capacity,
                const Consumer& consume);

    zip* archive = nullptr;
    QString reason;
    // Index of each member by its UTF-8 name, -1 for a name held twice; made when a
    // member is first looked for.
    QHash<QByteArray, qint64> indexByName;
};

#endif // HVARARCHIVE_H
