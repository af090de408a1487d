#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Helpers shared by the record stores and their reports.
namespace RecordFile {

// Replaces path with data in one step (temporary file, then rename): a crash, a kill or
// a full disk leaves the previous complete file. Returns false, with the reason in
// errorString when given, if the new content could not be committed.
bool writeAtomically(const QString &path, const QByteArray &data, QString *errorString = nullptr);

// Reads path as UTF-8 and splits it into lines (without the line ends). ok is false
// when the file cannot be opened.
QStringList readLines(const QString &path, bool *ok);

// A field of a line-oriented record: line breaks would split the record, so they
// become blanks.
QString singleLine(const QString &text);

// Like singleLine, and also turns the field separator into a blank, for fields that
// are followed by other fields.
QString singleField(const QString &text);

// ISO 8601 text of a local time without offset ("2025-03-01T18:04:09"), empty for a
// null time; appended as UTF-8. Same text as QDateTime::toString(Qt::ISODate), without
// its cost, which dominates the rewrite of a large file.
void appendIsoTime(QByteArray &out, const QDateTime &time);

// Reads what appendIsoTime wrote (or any ISO 8601 text QDateTime accepts) as local
// time; a null time for empty or malformed text.
QDateTime parseIsoTime(const QString &text);

// parseIsoTime that remembers its last answer: in a history file one visit usually
// starts at the second the previous one ended, and resolving a local time is costly.
class TimeParser
{
public:
    QDateTime parse(const QString &text);

private:
    QString m_lastText;
    QDateTime m_lastTime;
};

// Appends text as UTF-8.
void appendText(QByteArray &out, const QString &text);

} // namespace RecordFile
