#include "records/recordfile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringEncoder>
#include <QtNumeric>

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace RecordFile {

bool writeAtomically(const QString &path, const QByteArray &data, QString *errorString)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (errorString)
            *errorString = file.errorString();
        return false;
    }
    if (file.write(data) != data.size()) {
        if (errorString)
            *errorString = file.errorString();
        file.cancelWriting();
        return false;
    }
    // commit() does not report a failed flush of the last buffered bytes: a short
    // write on a full disk would pass as saved. Flush first, so it is caught here.
    if (!file.flush() || !file.commit()) {
        if (errorString)
            *errorString = file.errorString();
        return false;
    }
    return true;
}

QByteArray readBytes(const QString &path, bool *ok)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *ok = false;
        return {};
    }
    *ok = true;
    QByteArray data = file.readAll();
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    return data;
}

QStringList readLines(const QString &path, bool *ok)
{
    const QByteArray data = readBytes(path, ok);
    QStringList lines = QString::fromUtf8(data).split(QLatin1Char('\n'));
    // A final line end does not open another line.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

bool LineReader::next(QByteArrayView &line, bool *whole)
{
    if (m_pos >= m_end)
        return false;
    const char *begin = m_pos;
    const auto *newline = static_cast<const char *>(std::memchr(begin, '\n', size_t(m_end - begin)));
    const char *end = newline ? newline : m_end;
    m_pos = newline ? newline + 1 : m_end;
    const char *start = begin;
    const char *stop = end;
    while (start < stop && isAsciiSpace(*start))
        ++start;
    while (stop > start && isAsciiSpace(stop[-1]))
        --stop;
    line = QByteArrayView(start, stop - start);
    if (whole)
        *whole = newline && start == begin && stop == end;
    return true;
}

qsizetype LineReader::remainingLines() const
{
    // Record lines are rarely shorter than this; counting the line ends costs more than
    // the few reallocations a wrong guess would.
    return (m_end - m_pos) / 48 + 1;
}

qsizetype splitFields(QByteArrayView line, QByteArrayView *fields, qsizetype max)
{
    qsizetype count = 0;
    const char *pos = line.data();
    const char *end = pos + line.size();
    while (true) {
        const auto *bar = static_cast<const char *>(std::memchr(pos, '|', size_t(end - pos)));
        if (count < max)
            fields[count] = QByteArrayView(pos, (count == max - 1 || !bar) ? end - pos : bar - pos);
        ++count;
        if (!bar)
            return count;
        pos = bar + 1;
    }
}

bool needsTextTrim(QByteArrayView line, bool atEnd)
{
    return !line.isEmpty()
        && (static_cast<unsigned char>(line.front()) >= 0x80
            || (atEnd && static_cast<unsigned char>(line.back()) >= 0x80));
}

QString TextPool::text(QByteArrayView bytes, bool *writesBack)
{
    if (bytes.isEmpty()) {
        if (writesBack)
            *writesBack = true;
        return QString();
    }
    // fromRawData makes a key that borrows the bytes: looking up costs no allocation.
    const QByteArray key = QByteArray::fromRawData(bytes.data(), bytes.size());
    auto it = m_pool.constFind(key);
    if (it == m_pool.constEnd()) {
        // A file of all-different values must not grow the pool without end.
        if (m_pool.size() >= 4096)
            m_pool.clear();
        Entry entry;
        entry.text = QString::fromUtf8(bytes);
        // Not so for invalid UTF-8, separators, breaks and white space a text reader trims.
        entry.writesBack
            = entry.text.trimmed().size() == entry.text.size() && singleField(entry.text).toUtf8() == key;
        it = m_pool.insert(QByteArray(bytes.data(), bytes.size()), entry);
    }
    if (writesBack)
        *writesBack = it->writesBack;
    return it->text;
}

bool isPlainNumber(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18 || (text.size() > 1 && text.front() == '0'))
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

QString singleLine(const QString &text)
{
    const auto isBreak = [](QChar c) {
        const char16_t u = c.unicode();
        return u == u'\n' || u == u'\r' || u == u'\v' || u == u'\f' || u == 0x2028 || u == 0x2029
            || u == 0x85;
    };
    // Most texts hold no break: hand back the shared original without copying.
    if (std::none_of(text.cbegin(), text.cend(), isBreak))
        return text;
    QString result = text;
    for (QChar &c : result) {
        if (isBreak(c))
            c = QLatin1Char(' ');
    }
    return result;
}

QString singleField(const QString &text)
{
    QString result = singleLine(text);
    if (result.contains(QLatin1Char('|')))
        result.replace(QLatin1Char('|'), QLatin1Char(' '));
    return result;
}

void appendText(QByteArray &out, QStringView text)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    char *dst = out.data() + start;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            // Not plain ASCII: let the codec write the rest (at most three bytes per unit).
            const qsizetype done = dst - (out.data() + start);
            QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            out.resize(start + done + encoder.requiredSpace(text.size() - done));
            char *tail = encoder.appendToBuffer(out.data() + start + done, text.mid(done));
            out.truncate(tail - out.constData());
            return;
        }
        *dst++ = char(c.unicode());
    }
}

char *writeNumber(char *p, qint64 value)
{
    char buf[20];
    char *end = buf + sizeof buf;
    char *digits = end;
    // Negated in unsigned arithmetic, so the smallest qint64 does not overflow.
    quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        *--digits = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0)
        *p++ = '-';
    std::memcpy(p, digits, size_t(end - digits));
    return p + (end - digits);
}

void appendNumber(QByteArray &out, qint64 value)
{
    char buf[21];
    out.append(buf, writeNumber(buf, value) - buf);
}

qint64 addClamped(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (!qAddOverflow(a, b, &sum))
        return sum;
    return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

qint64 idAfter(qint64 largest)
{
    return largest < std::numeric_limits<qint64>::max() ? largest + 1 : largest;
}

void appendTenths(QByteArray &out, double value)
{
    const qint64 tenths = qRound64(value * 10);
    if (tenths < 0)
        out += '-';
    const qint64 magnitude = tenths < 0 ? -tenths : tenths;
    appendNumber(out, magnitude / 10);
    out += '.';
    out += char('0' + magnitude % 10);
}

namespace {

constexpr qint64 kMsPerDay = 86'400'000;
constexpr qint64 kUnixEpochJulianDay = 2'440'588;

// value as exactly width digits at p (the fields of a date fit their widths).
void putDigits(char *p, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        p[i] = char('0' + value % 10);
        value /= 10;
    }
}

// "yyyy-MM-ddTHH:mm:ss" at p; nullptr for a year outside 1-9999.
char *writeFields(char *p, const QDate &date, int msOfDay)
{
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day); // one calendar conversion instead of three
    if (year < 1 || year > 9999)
        return nullptr;
    const int seconds = msOfDay / 1000;
    putDigits(p, year, 4);
    p[4] = '-';
    putDigits(p + 5, month, 2);
    p[7] = '-';
    putDigits(p + 8, day, 2);
    p[10] = 'T';
    putDigits(p + 11, seconds / 3600, 2);
    p[13] = ':';
    putDigits(p + 14, seconds / 60 % 60, 2);
    p[16] = ':';
    putDigits(p + 17, seconds % 60, 2);
    return p + 19;
}

// Digits at text[from, from + count), or -1.
int digitsAt(QByteArrayView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "yyyy-MM-ddTHH:mm:ss" with an optional ".zzz", as milliseconds on the wall clock.
bool parseWall(QByteArrayView text, qint64 *wallMs)
{
    if ((text.size() != 19 && text.size() != 23) || text.at(4) != '-' || text.at(7) != '-'
        || text.at(10) != 'T' || text.at(13) != ':' || text.at(16) != ':')
        return false;
    const int y = digitsAt(text, 0, 4), mo = digitsAt(text, 5, 2), d = digitsAt(text, 8, 2);
    const int h = digitsAt(text, 11, 2), mi = digitsAt(text, 14, 2), s = digitsAt(text, 17, 2);
    int ms = 0;
    if (text.size() == 23) {
        if (text.at(19) != '.')
            return false;
        ms = digitsAt(text, 20, 3);
    }
    if (y < 1 || mo < 0 || d < 0 || h < 0 || mi < 0 || s < 0 || ms < 0 || !QDate::isValid(y, mo, d)
        || !QTime::isValid(h, mi, s, ms))
        return false;
    *wallMs = QDate(y, mo, d).toJulianDay() * kMsPerDay + ((h * 60 + mi) * 60 + s) * 1000 + ms;
    return true;
}

// Anything QDateTime reads as ISO 8601, as a local time (a "Z" or an offset is honoured).
QDateTime parseOther(QByteArrayView text)
{
    const QDateTime parsed = QDateTime::fromString(QString::fromUtf8(text), Qt::ISODate);
    if (!parsed.isValid())
        return QDateTime();
    return parsed.timeSpec() == Qt::LocalTime ? parsed : parsed.toLocalTime();
}

constexpr int kOffsetChanges = std::numeric_limits<int>::min();

// The local UTC offset (seconds) all through the day jd, or kOffsetChanges. Remembered
// per thread; a change of the system's zone while the program runs is not seen.
int uniformOffset(qint64 jd)
{
    // Records come in order of time: the day asked for is mostly the one asked before.
    thread_local qint64 lastDay = std::numeric_limits<qint64>::min();
    thread_local int lastOffset = 0;
    if (jd == lastDay)
        return lastOffset;
    thread_local std::unordered_map<qint64, int> days;
    const auto it = days.find(jd);
    if (it != days.end()) {
        lastDay = jd;
        lastOffset = it->second;
        return lastOffset;
    }
    const QDate date = QDate::fromJulianDay(jd);
    const int first = QDateTime(date, QTime(0, 0)).offsetFromUtc();
    const int last = QDateTime(date, QTime(23, 59, 59, 999)).offsetFromUtc();
    const int offset = first == last ? first : kOffsetChanges;
    if (days.size() > 100'000)
        days.clear();
    days.emplace(jd, offset);
    lastDay = jd;
    lastOffset = offset;
    return offset;
}

} // namespace

QDateTime localDateTime(const QDate &date, const QTime &time)
{
    const int offset = uniformOffset(date.toJulianDay());
    if (offset == kOffsetChanges || !time.isValid()) {
        // A wall-clock time the change of offset skipped does not exist: no time.
        const QDateTime local(date, time);
        return local.isValid() ? local : QDateTime();
    }
    const qint64 wallMs = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(wallMs - qint64(offset) * 1000, Qt::OffsetFromUTC, offset);
}

WallTime WallTime::parse(QByteArrayView text)
{
    WallTime result;
    if (text.isEmpty() || parseWall(text, &result.m_wallMs))
        return result;
    const QDateTime parsed = parseOther(text);
    return parsed.isValid() ? WallTime(parsed) : result;
}

QDateTime WallTime::toDateTime() const
{
    if (!m_made) {
        if (m_wallMs != kNone) {
            m_time = localDateTime(QDate::fromJulianDay(m_wallMs / kMsPerDay),
                QTime::fromMSecsSinceStartOfDay(int(m_wallMs % kMsPerDay)));
        }
        m_made = true;
    }
    return m_time;
}

void WallTime::appendIso(QByteArray &out) const
{
    if (m_made) {
        appendIsoTime(out, m_time);
        return;
    }
    if (m_wallMs == kNone)
        return;
    const qint64 msOfDay = m_wallMs % kMsPerDay;
    char buf[19];
    out.append(buf, writeFields(buf, QDate::fromJulianDay(m_wallMs / kMsPerDay), int(msOfDay)) - buf);
}

QDateTime TimeParser::parse(QByteArrayView text, bool *writesBack)
{
    const bool same
        = text.size() == m_lastSize && std::memcmp(text.data(), m_lastText.data(), size_t(m_lastSize)) == 0;
    if (same) {
        if (writesBack)
            *writesBack = m_lastWritesBack;
        return m_lastTime;
    }
    qint64 wallMs = 0;
    m_lastWritesBack = false;
    if (text.isEmpty()) {
        m_lastTime = QDateTime();
        m_lastWritesBack = true;
    } else if (parseWall(text, &wallMs)) {
        const qint64 day = wallMs / kMsPerDay;
        m_lastTime = localDateTime(
            QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(int(wallMs % kMsPerDay)));
        // Whole seconds, not in the gap of a change of offset: written back as read.
        m_lastWritesBack = text.size() == 19 && m_lastTime.isValid();
    } else {
        m_lastTime = parseOther(text);
    }
    if (writesBack)
        *writesBack = m_lastWritesBack;
    // Longer texts are not the stores' own form; they are not worth remembering.
    m_lastSize = text.size() <= qsizetype(m_lastText.size()) ? text.size() : -1;
    if (m_lastSize > 0)
        std::memcpy(m_lastText.data(), text.data(), size_t(m_lastSize));
    return m_lastTime;
}

char *writeIsoTime(char *p, const QDateTime &time)
{
    if (!time.isValid())
        return p;
    if (time.timeSpec() == Qt::LocalTime)
        return writeFields(p, time.date(), time.time().msecsSinceStartOfDay());
    // A time that carries the local offset of its day (see localDateTime) has the local
    // wall-clock fields already: work them out of its own offset, which is cheap.
    const int offset = time.offsetFromUtc();
    const qint64 wallMs = time.toMSecsSinceEpoch() + qint64(offset) * 1000;
    qint64 days = wallMs / kMsPerDay;
    qint64 msOfDay = wallMs % kMsPerDay;
    if (msOfDay < 0) {
        msOfDay += kMsPerDay;
        --days;
    }
    const QDate date = QDate::fromJulianDay(days + kUnixEpochJulianDay);
    if (offset == uniformOffset(date.toJulianDay()))
        return writeFields(p, date, int(msOfDay));
    const QDateTime local = time.toLocalTime();
    return writeFields(p, local.date(), local.time().msecsSinceStartOfDay());
}

void appendIsoTime(QByteArray &out, const QDateTime &time)
{
    char buf[19];
    if (char *end = writeIsoTime(buf, time))
        out.append(buf, end - buf);
    else
        out += time.toLocalTime().toString(Qt::ISODate).toUtf8();
}

} // namespace RecordFile
