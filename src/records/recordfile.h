#pragma once

#include <QByteArray>
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

}  // namespace RecordFile
