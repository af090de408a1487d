#pragma once

#include "favorites/favoriteformwindow.h"

#include <QStringList>

class QPlainTextEdit;

// Shows the dry-run report of an import file; accepting means "import it".
class ImportCheckWindow final : public FavoriteFormWindow
{
    Q_OBJECT

public:
    explicit ImportCheckWindow(const QStringList &report, QWidget *parent = nullptr);

    QPlainTextEdit *reportView() const { return m_report; }

protected:
    void onConfirm() override { accept(); }

private:
    QPlainTextEdit *m_report = nullptr;
};
