#include "favorites/statuschoice.h"

#include <QComboBox>

namespace StatusChoice {

void fill(QComboBox *box, int status)
{
    box->clear();
    box->addItem(QStringLiteral("🟡 Нормальный"), 0);
    box->addItem(QStringLiteral("🟢 Хороший"), 1);
    box->addItem(QStringLiteral("🔴 Плохой"), 2);
    const int index = box->findData(status);
    box->setCurrentIndex(index >= 0 ? index : 0);
}

} // namespace StatusChoice
