#include "ui/basedialog.h"

#include "core/settingskeys.h"

#include <QResizeEvent>
#include <QShowEvent>

BaseDialog::BaseDialog(QWidget *parent, bool applyOpacity) : QDialog(parent), m_applyOpacity(applyOpacity)
{
    setAttribute(Qt::WA_TranslucentBackground);
    if (m_applyOpacity)
        applyWindowOpacity();
}

void BaseDialog::setBackgroundWidget(QWidget *widget)
{
    if (widget && widget->parentWidget() != this)
        widget->setParent(this);
    m_backgroundWidget = widget;
    fitBackgroundWidget();
}

void BaseDialog::applyWindowOpacity()
{
    const int percent
        = openSettings()
              .value(QLatin1String(SettingsKeys::kWindowOpacity), SettingsKeys::kDefaultWindowOpacity)
              .toInt();
    setWindowOpacity(percent / 100.0);
}

void BaseDialog::fitBackgroundWidget()
{
    if (!m_backgroundWidget)
        return;
    m_backgroundWidget->setGeometry(0, 0, width(), height());
    m_backgroundWidget->lower();
}

void BaseDialog::resizeEvent(QResizeEvent *event)
{
    fitBackgroundWidget();
    QDialog::resizeEvent(event);
}

void BaseDialog::showEvent(QShowEvent *event)
{
    if (m_applyOpacity)
        applyWindowOpacity();
    fitBackgroundWidget();
    QDialog::showEvent(event);
}
