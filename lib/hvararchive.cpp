#include "hvararchive.h"

#include <QFile>

#include <zip.h>

#include <limits>

HVarArchive::~HVarArchive()
{
    close();
}

bool HVarArchive::open(const QString& path)
{
    close();
    reason.clear();
#ifdef Q_OS_WIN
    // libzip takes UTF-8 file names on Windows.
    const QByteArray name = path.toUtf8();
#else
    const QByteArray name = QFile::encodeName(path);
#endif
    int code = 0;
    archive = zip_open(name.constData(), ZIP_RDONLY, &code);
    if (archive == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString text = QString::fromUtf8(zip_error_strerror(&error));
        zip_error_fini(&error);
        return fail(code == ZIP_ER_NOZIP ? QStringLiteral("not a zip archive, or one cut short")
                                         : QStringLiteral("cannot open the archive: ") + text);
    }
    return true;
}

void HVarArchive::close()
{
    if (archive != nullptr) {
        zip_discard(archive);
        archive = nullptr;
    }
    indexByName.clear();
}

QStringList HVarArchive::members() const
{
    QStringList names;
    if (archive == nullptr) {
        return names;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        if (const char* name = zip_get_name(archive, zip_uint64_t(i), ZIP_FL_ENC_GUESS)) {
            names << QString::fromUtf8(name);
        }
    }
    return names;
}

qint64 HVarArchive::locate(const QString& member)
{
    if (indexByName.isEmpty()) {
        const zip_int64_t count = zip_get_num_entries(archive, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            if (const char* name = zip_get_name(archive, zip_uint64_t(i), ZIP_FL_ENC_GUESS)) {
                // Two members of one name: which one a reader takes is anybody's guess.
                const QByteArray key(name);
                indexByName.insert(key, indexByName.contains(key) ? -1 : i);
            }
        }
    }
    const qint64 found = indexByName.value(member.toUtf8(), -2);
    if (found == -2) {
        fail(QStringLiteral("no %1 in the archive").arg(member));
    } else if (found < 0) {
        fail(QStringLiteral("the archive holds %1 twice").arg(member));
    }
    return found < 0 ? -1 : found;
}

qint64 HVarArchive::entry(const QString& member, qint64 limit, qint64& size)
{
    reason.clear();
    if (archive == nullptr) {
        fail(QStringLiteral("no archive open"));
        return -1;
    }
    const qint64 index = locate(member);
    if (index < 0) {
        return -1;
    }
    zip_stat_t stat;
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE)) {
        fail(QStringLiteral("cannot read the entry of %1").arg(member));
        return -1;
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
        fail(QStringLiteral("%1 is encrypted").arg(member));
        return -1;
    }
    if ((stat.valid & ZIP_STAT_COMP_METHOD) &&
        !zip_compression_method_supported(stat.comp_method, 0)) {
        fail(QStringLiteral("%1 is packed in a way this reader does not know").arg(member));
        return -1;
    }
    // A QByteArray holds at most INT_MAX bytes, one of them ours.
    limit = qBound<qint64>(0, limit, std::numeric_limits<int>::max() - 1);
    if (stat.size > zip_uint64_t(limit)) {
        fail(QStringLiteral("%1 is larger than %2 bytes").arg(member).arg(limit));
        return -1;
    }
    size = qint64(stat.size);
    return index;
}

bool HVarArchive::readable(const QString& member, qint64 limit)
{
    qint64 size = 0;
    return entry(member, limit, size) >= 0;
}

bool HVarArchive::statedCrc(const QString& member, quint32& crc)
{
    reason.clear();
    const qint64 index = archive ? locate(member) : -1;
    zip_stat_t stat;
    if (index < 0 || zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_CRC)) {
        return fail(QStringLiteral("no checksum of %1").arg(member));
    }
    crc = stat.crc;
    return true;
}

bool HVarArchive::read(const QString& member, QByteArray& data, qint64 limit)
{
    data.clear();
    qint64 expected = 0;
    const qint64 index = entry(member, limit, expected);
    if (index < 0) {
        return false;
    }
    // Room for one byte more than stated: a member that unpacks to more is caught
    // without reading further.
    data.resize(int(expected + 1));
    if (!unpack(index, member, expected, data.data(), expected + 1, [](const char*, qint64) { return true; })) {
        data.clear();
        return false;
    }
    data.resize(int(expected));
    return true;
}

bool HVarArchive::stream(const QString& member, const Consumer& consume, qint64 limit, int chunkSize)
{
    qint64 expected = 0;
    const qint64 index = entry(member, limit, expected);
    if (index < 0) {
        return false;
    }
    QByteArray buffer(int(qBound<qint64>(1, chunkSize, expected + 1)), Qt::Uninitialized);
    return unpack(index, member, expected, buffer.data(), buffer.size(), consume);
}

bool HVarArchive::unpack(qint64 index, const QString& member, qint64 expected, char* buffer,
                         qint64 capacity, const Consumer& consume)
{
    zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(index), 0);
    if (file == nullptr) {
        return fail(QStringLiteral("cannot unpack %1: %2")
                        .arg(member, QString::fromUtf8(zip_strerror(archive))));
    }
    qint64 total = 0;
    qint64 filled = 0;
    QString problem;
    for (;;) {
        const zip_int64_t got = zip_fread(file, buffer + filled, zip_uint64_t(capacity - filled));
        if (got <= 0) {
            if (got < 0) {
                problem = QStringLiteral("cannot unpack %1: %2")
                              .arg(member, QString::fromUtf8(zip_file_strerror(file)));
            }
            break;
        }
        filled += got;
        total += got;
        if (total > expected) {
            problem = QStringLiteral("%1 does not unpack to its stated size").arg(member);
            break;
        }
        if (filled == capacity) {
            if (!consume(buffer, filled)) {
                problem = QStringLiteral("reading %1 was stopped").arg(member);
                break;
            }
            filled = 0;
        }
    }
    zip_fclose(file);
    if (problem.isEmpty() && total != expected) {
        problem = QStringLiteral("%1 does not unpack to its stated size").arg(member);
    }
    if (problem.isEmpty() && filled > 0 && !consume(buffer, filled)) {
        problem = QStringLiteral("reading %1 was stopped").arg(member);
    }
    return problem.isEmpty() || fail(problem);
}

bool HVarArchive::fail(const QString& why)
{
    reason = why;
    return false;
}
