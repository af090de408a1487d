#pragma once

// The firewall manager's behaviour without its widgets: the five range rows'
// active/selected flags, the status line, and the apply and clear flows with
// their messages and timing. The dialog forwards its slots here and mirrors the
// signals onto its widgets:
//   statusChanged      -> status label text and style, status icon (SVG text)
//   rowChanged         -> a row's "АКТИВНО" / "ВЫБРАН" flags, then repaint
//   busyChanged(true)  -> startApplyingAnimation, busyChanged(false) -> stopApplyingAnimation
//   warningRequested / informationRequested -> the message boxes
// and answers the clear question through setQuestionHandler.

#include "firewall/firewallstatus.h"
#include "firewall/portrangepreset.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>

class FirewallBackend;

class FirewallController final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kCommandDelayMs = 100; // lets the spinner paint before the tools block
    static constexpr int kRefreshDelayMs = 500; // status re-read after apply and clear
    static constexpr int kInitialCheckDelayMs = 500; // first check after the dialog opens

    explicit FirewallController(QObject *parent = nullptr); // the system's backend
    explicit FirewallController(std::unique_ptr<FirewallBackend> backend, QObject *parent = nullptr);
    ~FirewallController() override;

    static const std::array<PortRangePreset, firewall::kPresetCount> &presets()
    {
        return firewall::portRangePresets();
    }

    int activeIndex() const { return m_activeIndex; }
    int selectedIndex() const { return m_selectedIndex; }
    bool isRowActive(int index) const;
    bool isRowSelected(int index) const;
    bool isBusy() const { return m_busy; }
    firewall::StatusView status() const { return m_status; }

    // Replaces the administrator check (default: firewall::isRunningAsAdmin).
    void setAdminCheck(std::function<bool()> check);
    // Asks the user a Yes/No question; true only for Yes. Without a handler the
    // clear question counts as answered No.
    using QuestionHandler = std::function<bool(const QString &title, const QString &text)>;
    void setQuestionHandler(QuestionHandler handler);

public slots:
    void applyRule();
    void clearRule();
    void onRangeClicked(int index);

    // Full detection: rows, active index, detailed status.
    void detectActiveRange();
    // Quick check: status line only, "ПРАВИЛО АКТИВНО" or "ПРАВИЛО ОТСУТСТВУЕТ".
    void updateRuleStatus();
    void setActiveRange(int index);
    // After kInitialCheckDelayMs: detectActiveRange, then updateRuleStatus.
    void scheduleInitialCheck();

signals:
    void statusChanged(const QString &text, const QString &styleSheet, const QByteArray &iconSvg);
    void rowChanged(int index, bool active, bool selected);
    void busyChanged(bool busy);
    void warningRequested(const QString &title, const QString &text);
    void informationRequested(const QString &title, const QString &text);
    // Results, after the status has been read back.
    void ruleApplied(bool ok, const QString &ports);
    void ruleCleared(bool ok);

private:
    struct RowState
    {
        bool active = false;
        bool selected = false;
    };

    void setStatus(const firewall::StatusView &view);
    void clearRows();
    void emitRows();
    void setBusy(bool busy);
    bool checkAdmin(const QString &text);
    void finishApply(int presetIndex, const QString &ports);
    void finishClear();

    std::unique_ptr<FirewallBackend> m_backend;
    std::function<bool()> m_adminCheck;
    QuestionHandler m_question;
    std::array<RowState, firewall::kPresetCount> m_rows {};
    int m_activeIndex = -1;
    int m_selectedIndex = -1;
    bool m_busy = false;
    firewall::RuleOutcome m_outcome = firewall::RuleOutcome::Absent;
    firewall::StatusView m_status = firewall::checkingStatusView();
};
