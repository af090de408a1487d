#include "ui/filedialog.h"

#include <QQueue>

namespace {

QQueue<QString> &names()
{
    static QQueue<QString> queue;
    return queue;
}

FileDialog::Record &lastRecord()
{
    static FileDialog::Record record;
    return record;
}

int &counter()
{
    static int count = 0;
    return count;
}

bool takeQueued(const QString &caption, const QString &directory, const QString &filter, QString *result)
{
    lastRecord() = FileDialog::Record {caption, directory, filter};
    ++counter();
    if (names().isEmpty())
        return false;
    *result = names().dequeue();
    return true;
}

} // namespace

QString FileDialog::getSaveFileName(QWidget *parent, const QString &caption, const QString &directory,
    const QString &filter, QString *selectedFilter, QFileDialog::Options options)
{
    QString queued;
    if (takeQueued(caption, directory, filter, &queued))
        return queued;
    return QFileDialog::getSaveFileName(parent, caption, directory, filter, selectedFilter, options);
}

QString FileDialog::getOpenFileName(QWidget *parent, const QString &caption, const QString &directory,
    const QString &filter, QString *selectedFilter, QFileDialog::Options options)
{
    QString queued;
    if (takeQueued(caption, directory, filter, &queued))
        return queued;
    return QFileDialog::getOpenFileName(parent, caption, directory, filter, selectedFilter, options);
}

void FileDialog::setNextFileName(const QString &fileName)
{
    names().enqueue(fileName);
}

void FileDialog::clearNextFileNames()
{
    names().clear();
}

int FileDialog::pendingFileNames()
{
    return int(names().size());
}

FileDialog::Record FileDialog::lastShown()
{
    return lastRecord();
}

int FileDialog::shownCount()
{
    return counter();
}

void FileDialog::resetRecord()
{
    lastRecord() = Record {};
    counter() = 0;
}
