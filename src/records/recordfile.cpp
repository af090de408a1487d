#include "records/recordfile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

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

QStringList readLines(const QString &path, bool *ok)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *ok = false;
        return {};
    }
    *ok = true;
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line end does not open another line.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
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

namespace {

void appendDigits(QByteArray &out, int value, int width)
{
    char buf[12];
    int n = 0;
    do {
        buf[n++] = char('0' + value % 10);
        value /= 10;
    } while (value > 0 && n < int(sizeof buf));
    for (int i = n; i < width; ++i)
        out += '0';
    while (n > 0)
        out += buf[--n];
}

int digitsAt(const QString &text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

} // namespace

void appendIsoTime(QByteArray &out, const QDateTime &time)
{
    if (time.isNull())
        return;
    const QDate date = time.date();
    const QTime clock = time.time();
    if (date.year() < 0 || date.year() > 9999) {
        out += time.toString(Qt::ISODate).toUtf8();
        return;
    }
    appendDigits(out, date.year(), 4);
    out += '-';
    appendDigits(out, date.month(), 2);
    out += '-';
    appendDigits(out, date.day(), 2);
    out += 'T';
    appendDigits(out, clock.hour(), 2);
    out += ':';
    appendDigits(out, clock.minute(), 2);
    out += ':';
    appendDigits(out, clock.second(), 2);
}

QDateTime parseIsoTime(const QString &text)
{
    // The form the stores write; anything else goes through the general parser.
    if (text.size() == 19 && text.at(4) == QLatin1Char('-') && text.at(7) == QLatin1Char('-')
        && text.at(10) == QLatin1Char('T') && text.at(13) == QLatin1Char(':')
        && text.at(16) == QLatin1Char(':')) {
        const int y = digitsAt(text, 0, 4), mo = digitsAt(text, 5, 2), d = digitsAt(text, 8, 2);
        const int h = digitsAt(text, 11, 2), mi = digitsAt(text, 14, 2), s = digitsAt(text, 17, 2);
        if (y >= 0 && mo >= 0 && d >= 0 && h >= 0 && mi >= 0 && s >= 0) {
            const QDate date(y, mo, d);
            const QTime clock(h, mi, s);
            if (date.isValid() && clock.isValid())
                return QDateTime(date, clock);
        }
    }
    if (text.isEmpty())
        return QDateTime();
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODate);
    return parsed.isValid() ? parsed : QDateTime();
}

QDateTime TimeParser::parse(const QString &text)
{
    if (text != m_lastText) {
        m_lastText = text;
        m_lastTime = parseIsoTime(text);
    }
    return m_lastTime;
}

void appendText(QByteArray &out, const QString &text)
{
    out += text.toUtf8();
}

} // namespace RecordFile
