#include "referencescanner.h"

#include <QTextCodec>

#include <cstring>

namespace {

// Enough raw bytes before a "/" to hold the longest name written wholly in \u escapes.
constexpr int window = 6 * ReferenceScanner::maxNameBytes + 16;

bool isEscapedSlash(const char* text)
{
    return text[0] == '\\' && text[1] == 'u' && text[2] == '0' && text[3] == '0' && text[4] == '2' &&
           (text[5] == 'f' || text[5] == 'F');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = char(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The UTF-16 unit of the four hex digits at `text`, or -1.
int unitAt(const char* text)
{
    int unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0) {
            return -1;
        }
        unit = unit * 16 + digit;
    }
    return unit;
}

void appendUtf8(QByteArray& out, uint code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// `text` with its JSON escapes decoded; false for a malformed escape or a lone
// surrogate, or once the result passes `limit` bytes.
bool decodeJson(const char* text, int length, int limit, QByteArray& out)
{
    for (int i = 0; i < length && out.size() <= limit; ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= length) {
            return false;
        }
        switch (text[i]) {
        case '"':
        case '\\':
        case '/':
            out += text[i];
            continue;
        case 'u':
            break;
        default:
            // \b, \f, \n, \r, \t stand for control characters, which no name holds.
            return false;
        }
        const int unit = i + 4 < length ? unitAt(text + i + 1) : -1;
        i += 4;
        if (unit < 0 || (unit >= 0xDC00 && unit < 0xE000)) {
            return false;
        }
        uint code = uint(unit);
        if (unit >= 0xD800 && unit < 0xDC00) {
            const int low = i + 6 < length && text[i + 1] == '\\' && text[i + 2] == 'u' ? unitAt(text + i + 3) : -1;
            if (low < 0xDC00 || low >= 0xE000) {
                return false;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + uint(low - 0xDC00);
            i += 6;
        }
        appendUtf8(out, code);
    }
    return out.size() <= limit;
}

// "12", "latest" in any case or "min3".
bool isVersion(const char* text, int length)
{
    if (length == 6 && QByteArray::fromRawData(text, 6).compare("latest", Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (length > 3 && std::memcmp(text, "min", 3) == 0) {
        text += 3;
        length -= 3;
    }
    if (length == 0 || length > 9) {
        return false;
    }
    for (int i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

bool isValidUtf8(const QByteArray& text)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(text.constData(), text.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

} // namespace

ReferenceScanner::ReferenceScanner(Kind kind)
    : kind(kind), lastOpening(kind == Lines ? 0 : -1)
{
}

bool ReferenceScanner::wanted(const QString& name, Kind* kind)
{
    static const char* const jsonEndings[] = {".json", ".vap", ".vaj", ".vam", ".vmi"};
    for (const char* ending : jsonEndings) {
        if (name.endsWith(QLatin1String(ending), Qt::CaseInsensitive)) {
            if (kind != nullptr) {
                *kind = Json;
            }
            return true;
        }
    }
    if (name.endsWith(QLatin1String(".cslist"), Qt::CaseInsensitive)) {
        if (kind != nullptr) {
            *kind = Lines;
        }
        return true;
    }
    return false;
}

void ReferenceScanner::feed(const char* data, qint64 size)
{
    if (size <= 0) {
        return;
    }
    chunk = data;
    chunkSize = size;
    const qint64 chunkEnd = chunkStart + size;
    for (int i = 0; i < pendingEscapes.size();) {
        const qint64 end = pendingEscapes.at(i);
        if (end > chunkEnd) {
            ++i;
            continue;
        }
        pendingEscapes.remove(i);
        int length = 6;
        const char* text = view(end, length);
        if (length == 6 && isEscapedSlash(text)) {
            candidate(end);
        }
    }
    // Only a "/", written plainly or as an escape, can end a reference: everything
    // between them is skipped at the speed of memchr.
    const char* const last = data + size;
    const auto next = [last](const char* from, char c) {
        return static_cast<const char*>(std::memchr(from, c, size_t(last - from)));
    };
    const char* slash = next(data, '/');
    const char* backslash = kind == Json ? next(data, '\\') : nullptr;
    while (slash != nullptr || backslash != nullptr) {
        if (slash != nullptr && (backslash == nullptr || slash < backslash)) {
            candidate(chunkStart + (slash - data) + 1);
            slash = slash + 1 < last ? next(slash + 1, '/') : nullptr;
            continue;
        }
        if (last - backslash >= 6) {
            if (isEscapedSlash(backslash)) {
                candidate(chunkStart + (backslash - data) + 6);
            }
        } else {
            pendingEscapes.append(chunkStart + (backslash - data) + 6);
        }
        backslash = backslash + 1 < last ? next(backslash + 1, '\\') : nullptr;
    }
    if (size >= window) {
        tail = QByteArray(last - window, window);
    } else {
        tail.append(data, int(size));
        if (tail.size() > window) {
            tail.remove(0, tail.size() - window);
        }
    }
    chunkStart = chunkEnd;
    chunk = nullptr;
}

const char* ReferenceScanner::view(qint64 end, int& length)
{
    length = int(qMin<qint64>(length, end));
    const qint64 inChunk = end - chunkStart;
    if (inChunk >= length) {
        return chunk + inChunk - length;
    }
    // Made once a chunk, however many views near its start are asked for.
    if (joinedStart != chunkStart) {
        joined = tail;
        joined.append(chunk, int(qMin<qint64>(chunkSize, window)));
        joinedStart = chunkStart;
    }
    const int joinedEnd = tail.size() + int(inChunk);
    length = qMin(length, joinedEnd);
    return joined.constData() + joinedEnd - length;
}

void ReferenceScanner::candidate(qint64 end)
{
    int length = window;
    const char* text = view(end, length);
    const qint64 textStart = end - length;
    // The decoded character before the "/" must be a ":", itself plain or escaped.
    const int slashBytes = text[length - 1] == '/' ? 1 : 6;
    if (length <= slashBytes) {
        return;
    }
    const char before = text[length - slashBytes - 1];
    if (before != ':' && before != '\\' && before != 'a' && before != 'A') {
        return;
    }
    // The nearest opening quote (or line start) before the ":". Bytes looked at for
    // an earlier "/" are not looked at again, so that a run of ":/" costs one pass.
    const qint64 scanFrom = end - slashBytes - 1;
    qint64 opening = -1;
    for (qint64 at = scanFrom; at >= qMax(scannedEnd, textStart) && opening < 0; --at) {
        const int i = int(at - textStart);
        if (kind == Lines) {
            opening = text[i] == '\n' ? at + 1 : -1;
            continue;
        }
        if (text[i] == '"') {
            int backslashes = 0;
            while (i - backslashes > 0 && text[i - backslashes - 1] == '\\') {
                ++backslashes;
            }
            // A quote after an odd run of backslashes is escaped.
            opening = backslashes % 2 == 0 ? at + 1 : -1;
        }
    }
    if (opening < 0 && scannedEnd >= textStart) {
        opening = lastOpening;
    }
    scannedEnd = scanFrom + 1;
    lastOpening = opening;
    // Whether a string begins with a reference is settled at its first ":/".
    if (opening < textStart || opening == lastStart) {
        return;
    }
    lastStart = opening;
    int start = int(opening - textStart);
    if (kind == Lines) {
        if (opening == 0 && length - start >= 3 && std::memcmp(text + start, "\xEF\xBB\xBF", 3) == 0) {
            start += 3;
        }
        while (start < length && (text[start] == ' ' || text[start] == '\t')) {
            ++start;
        }
    }
    // Most references repeat one written before: those cost no string and no hash
    // that ignores case.
    if (referenceIn(text + start, length - start) && !spellings.contains(name)) {
        if (spellings.size() < 4 * maxReferences) {
            spellings.insert(name);
        }
        keep(QString::fromUtf8(name));
    }
}

bool ReferenceScanner::referenceIn(const char* text, int length)
{
    name.resize(0);
    if (kind == Json) {
        if (!decodeJson(text, length, maxNameBytes + 2, name)) {
            return false;
        }
    } else if (length <= maxNameBytes + 2) {
        name.append(text, length);
    } else {
        return false;
    }
    if (!name.endsWith(":/")) {
        return false;
    }
    name.chop(2);
    // A leading byte-order mark would vanish in decoding and leave no creator.
    if (name.startsWith("\xEF\xBB\xBF")) {
        return false;
    }
    // Creator and package without ".", then the version.
    int dots[2] = {-1, -1};
    bool ascii = true;
    for (int i = 0; i < name.size(); ++i) {
        const char c = name.at(i);
        if (c == '.') {
            if (dots[1] >= 0) {
                return false;
            }
            dots[dots[0] < 0 ? 0 : 1] = i;
        } else if (uchar(c) < 0x20 || c == 0x7F || c == ':' || c == '/' || c == '\\' || c == '"') {
            return false;
        }
        ascii = ascii && uchar(c) < 0x80;
    }
    return dots[0] > 0 && dots[1] > dots[0] + 1 &&
           isVersion(name.constData() + dots[1] + 1, name.size() - dots[1] - 1) &&
           (ascii || isValidUtf8(name));
}

void ReferenceScanner::keep(const QString& name)
{
    const CaselessKey key{name};
    if (known.contains(key)) {
        return;
    }
    if (found.size() >= maxReferences) {
        dropped = true;
        return;
    }
    known.insert(key);
    found.append(name);
}
