#include "favorites/favoriteaddwindow.h"

#include "favorites/favoriteportsmanager.h"
#include "ui/messagebox.h"

#include <QDateTime>
#include <QIntValidator>
#include <QLineEdit>
#include <QVBoxLayout>

FavoriteAddWindow::FavoriteAddWindow(FavoritePortsManager *store, QWidget *parent)
    : FavoriteFormWindow(
        QStringLiteral("Добавление нового порта"), QStringLiteral("addBackground"), QSize(420, 320), parent)
    , m_store(store)
{
    setObjectName(QStringLiteral("favoriteAddWindow"));

    addFieldLabel(QStringLiteral("Номер порта (9000-9999):"));
    m_port = new QLineEdit(this);
    m_port->setObjectName(QStringLiteral("addPort"));
    m_port->setPlaceholderText(QStringLiteral("9000-9999"));
    m_port->setValidator(
        new QIntValidator(FavoritePortsManager::kMinPort, FavoritePortsManager::kMaxPort, m_port));
    m_port->setStyleSheet(lineEditStyle());
    formLayout()->addWidget(m_port);

    addFieldLabel(QStringLiteral("Описание:"));
    m_description = new QLineEdit(this);
    m_description->setObjectName(QStringLiteral("addDescription"));
    m_description->setPlaceholderText(QStringLiteral("Введите описание порта"));
    m_description->setStyleSheet(lineEditStyle());
    formLayout()->addWidget(m_description);

    addButtons(QStringLiteral("Добавить"), QStringLiteral("Отмена"));
    m_port->setFocus();
}

void FavoriteAddWindow::onConfirm()
{
    const QString title = QStringLiteral("Ошибка");
    bool isNumber = false;
    const quint16 port = m_port->text().trimmed().toUShort(&isNumber);
    if (!isNumber || port == 0) {
        MessageBox::warning(this, title, QStringLiteral("Введите корректный номер порта (9000-9999)"));
        return;
    }
    if (!FavoritePortsManager::isAllowedPort(port)) {
        MessageBox::warning(
            this, title, QStringLiteral("Порт должен быть в диапазоне 9000-9999 (вида 9XXX)"));
        return;
    }
    // Blanks alone would store a favourite nobody can read (the edit window refuses them too).
    const QString description = m_description->text().trimmed();
    if (description.isEmpty()) {
        MessageBox::warning(this, title, QStringLiteral("Введите описание порта"));
        return;
    }
    if (m_store->isFavorite(port)) {
        MessageBox::warning(this, title, QStringLiteral("Порт уже в избранном"));
        return;
    }
    FavoritePort favorite;
    favorite.port = port;
    favorite.description = description;
    favorite.addedDate = QDateTime::currentDateTime();
    favorite.status = 0;
    m_store->addFavorite(favorite);
    m_store->saveFavorites();
    accept();
}
