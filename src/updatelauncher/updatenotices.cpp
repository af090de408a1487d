#include "updatelauncher/updatenotices.h"

#include "updatelauncher/autoupdater.h"

#include <QMessageBox>

namespace UpdateNotices {

void attach(AutoUpdater *updater)
{
    QObject::connect(
        updater, &AutoUpdater::noticeRequested, updater,
        [](AutoUpdater::NoticeKind kind, const QString &title, const QString &text) {
            QMessageBox::Icon icon = QMessageBox::Information;
            if (kind == AutoUpdater::NoticeKind::Warning)
                icon = QMessageBox::Warning;
            else if (kind == AutoUpdater::NoticeKind::Critical)
                icon = QMessageBox::Critical;
            QMessageBox box(icon, title, text, QMessageBox::Ok);
            box.exec();
        },
        Qt::DirectConnection);
}

} // namespace UpdateNotices
