#pragma once

#include <QFileDialog>
#include <QString>

// The program's file dialogs. Tests queue the next chosen name with setNextFileName();
// a queued name (an empty one means "cancelled") is returned without showing anything.
class FileDialog final
{
public:
    struct Record
    {
        QString caption;
        QString directory;
        QString filter;
    };

    static QString getSaveFileName(QWidget *parent, const QString &caption,
        const QString &directory = QString(), const QString &filter = QString(),
        QString *selectedFilter = nullptr, QFileDialog::Options options = QFileDialog::Options());
    static QString getOpenFileName(QWidget *parent, const QString &caption,
        const QString &directory = QString(), const QString &filter = QString(),
        QString *selectedFilter = nullptr, QFileDialog::Options options = QFileDialog::Options());

    static void setNextFileName(const QString &fileName);
    static void clearNextFileNames();
    static int pendingFileNames();

    static Record lastShown();
    static int shownCount();
    static void resetRecord();
};
