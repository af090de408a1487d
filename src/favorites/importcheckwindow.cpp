#include "favorites/importcheckwindow.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

ImportCheckWindow::ImportCheckWindow(const QStringList &report, QWidget *parent)
    : FavoriteFormWindow(QStringLiteral("Результат проверки файла"), QStringLiteral("validationBackground"),
        QSize(500, 400), parent)
{
    setObjectName(QStringLiteral("importCheckWindow"));
    setWindowTitle(QStringLiteral("Проверка файла"));

    // The report quotes lines of the file: plain text only.
    m_report = new QPlainTextEdit(this);
    m_report->setObjectName(QStringLiteral("importReport"));
    m_report->setReadOnly(true);
    m_report->setPlainText(report.join(QLatin1Char('\n')));
    m_report->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background-color:rgba(30,41,59,200); color:#e2e8f0; "
                       "border:1px solid rgba(51,65,85,150); border-radius:8px; padding:6px; "
                       "font-family:Consolas, 'DejaVu Sans Mono', monospace; font-size:12px; }"));
    formLayout()->addWidget(m_report, 1);

    addButtons(QStringLiteral("Продолжить импорт"), QStringLiteral("Отмена"));
}
