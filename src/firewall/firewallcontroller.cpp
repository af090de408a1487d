#include "firewall/firewallcontroller.h"

#include "firewall/firewallbackend.h"

#include <QDebug>
#include <QTimer>

using firewall::RuleOutcome;

namespace {

const QString kRightsTitle = QStringLiteral("ПРАВА ДОСТУПА");
const QString kSuccessTitle = QStringLiteral("УСПЕХ");
const QString kErrorTitle = QStringLiteral("ОШИБКА");
const QString kClearTitle = QStringLiteral("ОЧИСТКА ПРАВИЛ");

// clang-format off
const QString kApplyRightsText = QStringLiteral(
    "⚠️ Для изменения правил брандмауэра необходимы права администратора.\n\n"
    "Запустите программу от имени администратора.");
const QString kClearRightsText = QStringLiteral(
    "⚠️ Для удаления правил брандмауэра необходимы права администратора.\n\n"
    "Запустите программу от имени администратора.");
const QString kClearQuestionText = QStringLiteral(
    "Вы уверены, что хотите удалить все правила брандмауэра для Русской Рыбалки 4?\n\n"
    "Это восстановит стандартный доступ к игре.");
const QString kAppliedText = QStringLiteral(
    "Правило брандмауэра успешно обновлено!\n\nНовый диапазон портов: %1\n"
    "Для вступления изменений в силу перезапустите игру.");
const QString kApplyFailedText = QStringLiteral(
    "❌ Не удалось применить правило брандмауэра.\n\nДиапазон портов: %1\nСостояние: %2");
const QString kClearedText = QStringLiteral(
    "Правила брандмауэра успешно удалены!\n\n"
    "Теперь игра будет иметь стандартный доступ к сети.");
const QString kClearFailedText = QStringLiteral(
    "❌ Не удалось удалить правило брандмауэра.\n\nСостояние: %1");
// clang-format on

bool validIndex(int index)
{
    return index >= 0 && index < firewall::kPresetCount;
}

} // namespace

FirewallController::FirewallController(QObject *parent)
    : FirewallController(FirewallBackend::createDefault(), parent)
{ }

FirewallController::FirewallController(std::unique_ptr<FirewallBackend> backend, QObject *parent)
    : QObject(parent), m_backend(std::move(backend)), m_adminCheck(&firewall::isRunningAsAdmin)
{ }

FirewallController::~FirewallController() = default;

bool FirewallController::isRowActive(int index) const
{
    return validIndex(index) && m_rows[size_t(index)].active;
}

bool FirewallController::isRowSelected(int index) const
{
    return validIndex(index) && m_rows[size_t(index)].selected;
}

void FirewallController::setAdminCheck(std::function<bool()> check)
{
    m_adminCheck = std::move(check);
}

void FirewallController::setQuestionHandler(QuestionHandler handler)
{
    m_question = std::move(handler);
}

void FirewallController::setStatus(const firewall::StatusView &view)
{
    m_status = view;
    emit statusChanged(view.text, view.styleSheet, firewall::statusIconSvg(view.presentIcon));
}

void FirewallController::emitRows()
{
    for (int i = 0; i < firewall::kPresetCount; ++i)
        emit rowChanged(i, m_rows[size_t(i)].active, m_rows[size_t(i)].selected);
}

void FirewallController::clearRows()
{
    m_rows.fill(RowState {});
    emitRows();
    m_activeIndex = -1;
}

void FirewallController::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}

void FirewallController::detectActiveRange()
{
    if (!m_backend->ruleExists()) {
        clearRows();
        m_outcome = RuleOutcome::Absent;
        setStatus(firewall::statusView(m_outcome));
        return;
    }
    const QString ports = m_backend->currentRulePorts();
    if (ports.isEmpty()) {
        clearRows();
        m_outcome = RuleOutcome::PresentWithoutPorts;
        setStatus(firewall::statusView(m_outcome));
        return;
    }
    const int index = firewall::matchingPreset(ports);
    if (index >= 0) {
        setActiveRange(index);
        m_outcome = RuleOutcome::Matching;
    } else {
        qDebug() << "[FIREWALL] rule holds ports of no preset:" << ports;
        clearRows();
        m_outcome = RuleOutcome::NotMatching;
    }
    setStatus(firewall::statusView(m_outcome));
}

void FirewallController::updateRuleStatus()
{
    setStatus(firewall::statusView(m_backend->ruleExists() ? RuleOutcome::Matching : RuleOutcome::Absent));
}

void FirewallController::setActiveRange(int index)
{
    for (int i = 0; i < firewall::kPresetCount; ++i) {
        RowState &row = m_rows[size_t(i)];
        row.active = i == index;
        if (i == index)
            row.selected = false;
    }
    emitRows();
    m_activeIndex = index;
}

void FirewallController::onRangeClicked(int index)
{
    for (int i = 0; i < firewall::kPresetCount; ++i) {
        RowState &row = m_rows[size_t(i)];
        row.selected = i == index;
        if (i == index)
            row.active = false;
    }
    emitRows();
    m_selectedIndex = index;
}

void FirewallController::scheduleInitialCheck()
{
    QTimer::singleShot(kInitialCheckDelayMs, this, [this] {
        detectActiveRange();
        updateRuleStatus();
    });
}

bool FirewallController::checkAdmin(const QString &text)
{
    if (m_adminCheck && m_adminCheck())
        return true;
    emit warningRequested(kRightsTitle, text);
    return false;
}

void FirewallController::applyRule()
{
    // The dialog keeps processing events between the delayed steps; a second
    // request in that window would interleave two runs of the tools.
    if (m_busy)
        return;
    const int presetIndex = validIndex(m_selectedIndex) ? m_selectedIndex : 0;
    const QString ports = presets()[size_t(presetIndex)].ports;

    if (!checkAdmin(kApplyRightsText))
        return;

    setBusy(true);
    QTimer::singleShot(kCommandDelayMs, this, [this, presetIndex, ports] {
        qDebug() << "[FIREWALL] applying" << presets()[size_t(presetIndex)].name << ports;
        m_backend->addRule(ports);
        QTimer::singleShot(
            kRefreshDelayMs, this, [this, presetIndex, ports] { finishApply(presetIndex, ports); });
    });
}

void FirewallController::finishApply(int presetIndex, const QString &ports)
{
    updateRuleStatus();
    detectActiveRange();
    setBusy(false);

    // Success is what the firewall holds afterwards, not what the tools said.
    const bool ok = m_outcome == RuleOutcome::Matching && m_activeIndex == presetIndex;
    if (ok) {
        emit informationRequested(kSuccessTitle, kAppliedText.arg(ports));
    } else {
        qWarning() << "[FIREWALL] rule not in place after apply:" << m_status.text;
        emit warningRequested(kErrorTitle, kApplyFailedText.arg(ports, m_status.text));
    }
    emit ruleApplied(ok, ports);
}

void FirewallController::clearRule()
{
    if (m_busy)
        return;
    if (!checkAdmin(kClearRightsText))
        return;

    const bool confirmed = m_question && m_question(kClearTitle, kClearQuestionText);
    if (!confirmed)
        return;

    setBusy(true);
    QTimer::singleShot(kCommandDelayMs, this, [this] {
        qDebug() << "[FIREWALL] removing the rule";
        m_backend->removeRule();
        QTimer::singleShot(kRefreshDelayMs, this, [this] { finishClear(); });
    });
}

void FirewallController::finishClear()
{
    setBusy(false);
    updateRuleStatus();
    detectActiveRange();

    const bool ok = m_outcome == RuleOutcome::Absent;
    if (ok) {
        emit informationRequested(kSuccessTitle, kClearedText);
    } else {
        qWarning() << "[FIREWALL] rule still present after clear:" << m_status.text;
        emit warningRequested(kErrorTitle, kClearFailedText.arg(m_status.text));
    }
    emit ruleCleared(ok);
}
