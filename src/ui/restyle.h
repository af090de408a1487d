#pragma once

#include <QString>
#include <QWidget>

// Sets a widget's style sheet unless it already has that one. Every set parses the sheet,
// polishes the widget again and lays its parent out anew, even when nothing changed: for
// values refreshed every second that is most of what showing them costs.
inline void restyle(QWidget *widget, const QString &styleSheet)
{
    if (widget->styleSheet() != styleSheet)
        widget->setStyleSheet(styleSheet);
}
