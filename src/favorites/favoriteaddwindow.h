#pragma once

#include "favorites/favoriteformwindow.h"

class FavoritePortsManager;
class QLineEdit;

// Adds a port typed by the user. The checks run in a fixed order and the first refusal
// is shown; the window stays open until a favourite was stored or the user cancels.
class FavoriteAddWindow final : public FavoriteFormWindow
{
    Q_OBJECT

public:
    explicit FavoriteAddWindow(FavoritePortsManager *store, QWidget *parent = nullptr);

    QLineEdit *portEdit() const { return m_port; }
    QLineEdit *descriptionEdit() const { return m_description; }

protected:
    void onConfirm() override;

private:
    FavoritePortsManager *m_store;
    QLineEdit *m_port = nullptr;
    QLineEdit *m_description = nullptr;
};
