#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <limits>

// Helpers shared by the record stores and their reports.
namespace RecordFile {

// Replaces path with data in one step (temporary file, then rename): a crash, a kill or
// a full disk leaves the previous complete file. Returns false, with the reason in
// errorString when given, if the new content could not be committed.
bool writeAtomically(const QString &path, const QByteArray &data, QString *errorString = nullptr);

// Reads path as UTF-8 and splits it into lines (without the line ends). ok is false
// when the file cannot be opened.
QStringList readLines(const QString &path, bool *ok);

// The bytes of path without a leading UTF-8 byte-order mark; ok is false when the file
// cannot be opened.
QByteArray readBytes(const QString &path, bool *ok);

// Walks the lines of a file's bytes without copying them. Each line comes without its
// "\n" and trimmed of ASCII white space (so a "\r" before the "\n" goes too).
class LineReader
{
public:
    explicit LineReader(QByteArrayView data) : m_pos(data.data()), m_end(data.data() + data.size()) { }
    // False at the end of the data. whole, when given, tells whether the line stands in
    // the data exactly as returned, followed by "\n" (nothing trimmed).
    bool next(QByteArrayView &line, bool *whole = nullptr);
    // About the number of lines left, for reserving.
    qsizetype remainingLines() const;

private:
    const char *m_pos;
    const char *m_end;
};

// Splits line on "|" into at most max fields (the last one keeps any further "|") and
// returns the number of fields the line holds in all.
qsizetype splitFields(QByteArrayView line, QByteArrayView *fields, qsizetype max);

// A line whose first (or, with atEnd, last) byte is not ASCII may have white space at
// that end that only a Unicode reader sees; such lines go through QString::trimmed so
// they read exactly as text would.
bool needsTextTrim(QByteArrayView line, bool atEnd);

// UTF-8 field to text. Record files repeat the same few servers, network types and
// descriptions on thousands of lines: each distinct value is decoded once and shared.
class TextPool
{
public:
    // writesBack, when given, tells whether the text written back as a field (see
    // singleField) gives these very bytes.
    QString text(QByteArrayView bytes, bool *writesBack = nullptr);

private:
    struct Entry
    {
        QString text;
        bool writesBack = false;
    };
    QHash<QByteArray, Entry> m_pool;
};

// Whether text is a number as appendNumber writes it (so it is written back unchanged).
bool isPlainNumber(QByteArrayView text);

// A line break inside a field would split the record, so line breaks become blanks.
QString singleLine(const QString &text);

// Like singleLine, and also turns the field separator into a blank, for fields that
// are followed by other fields.
QString singleField(const QString &text);

// Appends text as UTF-8, straight into out.
void appendText(QByteArray &out, QStringView text);
// Appends a decimal number.
void appendNumber(QByteArray &out, qint64 value);
// Writers into room the caller has made: each writes at p and returns the end of what
// it wrote. A number takes at most 20 bytes.
char *writeNumber(char *p, qint64 value);
// The text of appendIsoTime, at most 19 bytes; nullptr, having written nothing, for a
// year outside 1-9999 (appendIsoTime writes those).
char *writeIsoTime(char *p, const QDateTime &time);
// a + b, held at the ends of qint64: sums of figures read from a file (which may hold
// anything) stay defined and keep their sign.
qint64 addClamped(qint64 a, qint64 b);
// The id after the largest one read, or the largest id itself if nothing follows it.
qint64 idAfter(qint64 largest);
// Appends value with one decimal after a ".", rounded ("12.5").
void appendTenths(QByteArray &out, double value);

// The local wall-clock time date + time. Asking the system's time zone costs a system
// call per time on Linux (glibc checks /etc/localtime each time), which made reading a
// large history take a second. Instead the zone's offset is looked up once per day: on
// a day without a change of offset the result carries that offset (the same instant and
// the same wall-clock fields as the local time); on a day with a change it is
// QDateTime's own local time.
QDateTime localDateTime(const QDate &date, const QTime &time);

// A time as the record files hold it: ISO 8601 local time without offset
// ("2025-03-01T18:04:09"), empty for a null time. Read from a file, it is kept as its
// wall-clock fields and written back from them; the QDateTime is made when first asked for.
class WallTime
{
public:
    WallTime() = default;
    explicit WallTime(const QDateTime &time) : m_time(time), m_made(true) { }
    // The form above, with optional ".zzz"; anything else through QDateTime's own ISO
    // reader. Empty or malformed text gives a null time.
    static WallTime parse(QByteArrayView text);

    bool isNull() const { return m_made ? m_time.isNull() : m_wallMs == kNone; }
    QDateTime toDateTime() const;
    // Whole seconds, as QDateTime::toString(Qt::ISODate) writes a local time.
    void appendIso(QByteArray &out) const;
    // Whether appendIso gives text, the text this time was parsed from, again.
    bool writesBack(QByteArrayView text) const
    {
        return text.isEmpty() || (!m_made && m_wallMs != kNone && text.size() == 19);
    }

private:
    static constexpr qint64 kNone = std::numeric_limits<qint64>::min();
    mutable QDateTime m_time;
    mutable bool m_made = false;
    qint64 m_wallMs = kNone; // msecs from 0001-01-01T00:00 on the wall clock
};

// WallTime::parse(...).toDateTime() that remembers its last answer: in a history file a
// visit usually starts at the second the previous one ended.
class TimeParser
{
public:
    // writesBack, when given, tells whether appendIsoTime gives the same text again.
    QDateTime parse(QByteArrayView text, bool *writesBack = nullptr);

private:
    std::array<char, 32> m_lastText {};
    qsizetype m_lastSize = 0;
    QDateTime m_lastTime;
    bool m_lastWritesBack = true;
};

// ISO text of a time as the record files hold it (see WallTime): its local wall-clock
// fields, whole seconds.
void appendIsoTime(QByteArray &out, const QDateTime &time);

} // namespace RecordFile
