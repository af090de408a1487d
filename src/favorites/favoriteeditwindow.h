#pragma once

#include "favorites/favoriteformwindow.h"
#include "favorites/favoriteportsmanager.h"

class QComboBox;
class QPlainTextEdit;

// Edits the description and the rating of one favourite; the port stays as it is.
// Saving writes the store and accepts; a refused save keeps the window open.
class FavoriteEditWindow final : public FavoriteFormWindow
{
    Q_OBJECT

public:
    FavoriteEditWindow(FavoritePortsManager *store, const FavoritePort &favorite, QWidget *parent = nullptr);

    QPlainTextEdit *descriptionEdit() const { return m_description; }
    QComboBox *statusBox() const { return m_status; }

protected:
    void onConfirm() override;

private:
    FavoritePortsManager *m_store;
    FavoritePort m_favorite;
    QPlainTextEdit *m_description = nullptr;
    QComboBox *m_status = nullptr;
};
