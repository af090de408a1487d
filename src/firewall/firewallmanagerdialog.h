#pragma once

#include "firewall/firewallbackend.h"
#include "ui/basemovabledialog.h"

#include <QLabel>
#include <QList>
#include <QPointer>

#include <memory>

class FirewallController;
class QPushButton;
class QSvgWidget;
class QTimer;
class QVBoxLayout;
class RangeItemWidget;
class SvgButton;

// The firewall range manager: the rule's status, the five preset rows, the apply
// button with its spinner and the help window that leads to clearing the rule.
// The decisions live in FirewallController; this window shows them and forwards
// the user's clicks.
class FirewallManagerDialog final : public BaseMovableDialog
{
    Q_OBJECT

public:
    static constexpr int kSpinnerFrameMs = 50;
    static constexpr int kDotsMs = 500;

    // backend: null for the system's firewall.
    explicit FirewallManagerDialog(
        QWidget *parent = nullptr, std::unique_ptr<FirewallBackend> backend = nullptr);
    ~FirewallManagerDialog() override;

    // Opens the manager over a main window: above other windows, with the window's
    // icon, centred on it, modal. Returns the dialog's result.
    static int openFor(QWidget *window, std::unique_ptr<FirewallBackend> backend = nullptr);
    // The part of openFor before the modal run.
    void prepareFor(QWidget *window);

    FirewallController *controller() const { return m_controller; }
    const QList<RangeItemWidget *> &rangeItems() const { return m_rows; }
    QLabel *statusLabel() const { return m_statusLabel; }
    QSvgWidget *statusIcon() const { return m_statusIcon; }
    QPushButton *applyButton() const { return m_applyButton; }
    SvgButton *helpButton() const { return m_helpButton; }
    SvgButton *closeButton() const { return m_closeButton; }
    int activeIndex() const;
    int selectedIndex() const;

    bool isApplying() const { return m_applying; }
    int spinnerFrame() const { return m_spinnerFrame; }
    QLabel *spinnerLabel() const { return m_spinnerLabel; }

    // One frame of the spinner: twelve white spokes, the brightest at the frame's angle.
    static QPixmap spinnerPixmap(int frame);

public slots:
    void applyRule();
    void clearRule();
    void onRangeClicked(int index);
    void showHelp();

    void startApplyingAnimation();
    void stopApplyingAnimation();

    // Refuses to close while the firewall is being changed: closing then would drop
    // the pending commands half way.
    void reject() override;

private:
    void buildContent(QWidget *content, QVBoxLayout *layout);
    void showStatus(const QString &text, const QString &styleSheet, const QByteArray &iconSvg);
    void advanceSpinner();
    void advanceDots();
    void clearButtonLayout();

    FirewallController *m_controller = nullptr;
    QList<RangeItemWidget *> m_rows;
    QLabel *m_titleIcon = nullptr;
    QSvgWidget *m_statusIcon = nullptr;
    QLabel *m_statusLabel = nullptr;
    QPushButton *m_applyButton = nullptr;
    SvgButton *m_closeButton = nullptr;
    SvgButton *m_helpButton = nullptr;
    QTimer *m_dotsTimer = nullptr;
    QTimer *m_spinnerTimer = nullptr;
    bool m_applying = false;
    int m_spinnerFrame = 0;
    // Both die with the button's layout when the spinner stops.
    QPointer<QLabel> m_spinnerLabel;
    QPointer<QLabel> m_spinnerText;
    bool m_clearAfterApply = false;
};
