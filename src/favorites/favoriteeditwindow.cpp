#include "favorites/favoriteeditwindow.h"

#include "favorites/statuschoice.h"
#include "ui/messagebox.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

FavoriteEditWindow::FavoriteEditWindow(
    FavoritePortsManager *store, const FavoritePort &favorite, QWidget *parent)
    : FavoriteFormWindow(
        QStringLiteral("Редактирование порта"), QStringLiteral("editBackground"), QSize(450, 380), parent)
    , m_store(store)
    , m_favorite(favorite)
{
    setObjectName(QStringLiteral("favoriteEditWindow"));

    auto *portLabel = new QLabel(
        QStringLiteral("Порт: <span style='color:#3b82f6;font-size:22px;font-weight:bold;'>%1</span>")
            .arg(favorite.port),
        this);
    portLabel->setObjectName(QStringLiteral("editPortLabel"));
    portLabel->setTextFormat(Qt::RichText);
    portLabel->setAlignment(Qt::AlignCenter);
    portLabel->setStyleSheet(QStringLiteral("color:#e2e8f0; font-size:15px; background:transparent;"));
    formLayout()->addWidget(portLabel);

    addFieldLabel(QStringLiteral("Описание:"));
    m_description = new QPlainTextEdit(favorite.description, this);
    m_description->setObjectName(QStringLiteral("editDescription"));
    m_description->setStyleSheet(
        QStringLiteral("QPlainTextEdit { ") + lineEditStyle() + QStringLiteral(" }"));
    m_description->setTabChangesFocus(true);
    formLayout()->addWidget(m_description, 1);

    addFieldLabel(QStringLiteral("Статус:"));
    m_status = new QComboBox(this);
    m_status->setObjectName(QStringLiteral("editStatus"));
    StatusChoice::fill(m_status, favorite.status);
    m_status->setStyleSheet(comboBoxStyle());
    formLayout()->addWidget(m_status);

    addButtons(QStringLiteral("💾 Сохранить"), QStringLiteral("✕ Отмена"));
    m_description->setFocus();
}

void FavoriteEditWindow::onConfirm()
{
    const QString description = m_description->toPlainText().trimmed();
    if (description.isEmpty()) {
        MessageBox::warning(this, QStringLiteral("Ошибка"), QStringLiteral("Описание не может быть пустым"));
        return;
    }
    FavoritePort edited = m_favorite;
    edited.description = description;
    edited.status = m_status->currentData().toInt();
    // The store refuses an edit that would lose the entry; say so instead of closing as if saved.
    if (!m_store->updateFavorite(m_favorite.port, edited)) {
        MessageBox::warning(this, QStringLiteral("Ошибка"),
            QStringLiteral("Не удалось сохранить изменения порта %1").arg(m_favorite.port));
        return;
    }
    m_store->saveFavorites();
    accept();
}
