#pragma once

#include "ui/basemovabledialog.h"

#include <functional>

class FavoritePortsManager;
class QLabel;
class QPushButton;
class QTableWidget;

// The full list of favourite ports: a sortable table with export, import, edit, delete,
// add and a publish button per row. It reads the store when it fills the table (at
// construction and after each change it makes itself).
class FavoritePortsDialog final : public BaseMovableDialog
{
    Q_OBJECT

public:
    // Publishes one favourite to the shared catalogue: port, description, status, comment.
    using Publisher = std::function<void(quint16, const QString &, int, const QString &)>;

    enum Column
    {
        StarColumn,
        PortColumn,
        DescriptionColumn,
        StatusColumn,
        AddedColumn,
        ActionsColumn,
        ColumnCount
    };

    // The store is not owned. Without a publisher, publishing reports that the main window
    // cannot be found. With a parent the dialog is centred over it.
    explicit FavoritePortsDialog(
        FavoritePortsManager *store, Publisher publisher = {}, QWidget *parent = nullptr);

    QTableWidget *table() const { return m_table; }
    QPushButton *exportButton() const { return m_exportButton; }
    QPushButton *importButton() const { return m_importButton; }
    QPushButton *statusButton() const { return m_statusButton; }
    QPushButton *deleteButton() const { return m_deleteButton; }
    QPushButton *addButton() const { return m_addButton; }
    // The port shown in the selected row, 0 without a selection.
    quint16 selectedPort() const;
    // The row currently showing a port, -1 when none does.
    int rowOfPort(quint16 port) const;

public slots:
    void onExportClicked();
    void onImportClicked();
    void onChangeStatusClicked();
    void onDeleteClicked();
    void onAddNewClicked();
    void onCloseClicked();
    void onTableSelectionChanged();
    void refreshTable();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void buildTable(QWidget *content);
    void buildTools(QWidget *content);
    void fillRow(int row, quint16 port);
    void publishRow(QWidget *button);
    void updateButtons();

    FavoritePortsManager *m_store;
    Publisher m_publisher;
    QTableWidget *m_table = nullptr;
    QPushButton *m_exportButton = nullptr;
    QPushButton *m_importButton = nullptr;
    QPushButton *m_statusButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_addButton = nullptr;
};
