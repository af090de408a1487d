// The firewall manager window over an in-memory firewall: rows and their badges,
// the status line, apply and its spinner, the help window and the clear path.

#include "firewall/adminrequireddialog.h"
#include "firewall/firewallbackend.h"
#include "firewall/firewallcontroller.h"
#include "firewall/firewallhelpdialog.h"
#include "firewall/firewallmanagerdialog.h"
#include "firewall/rangeitemwidget.h"
#include "ui/messagebox.h"
#include "ui/svgbutton.h"
#include "ui/systemsound.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace {

const QString kChecking = QStringLiteral("ПРОВЕРКА СТАТУСА...");
const QString kActive = QStringLiteral("АКТИВНО");
const QString kChosen = QStringLiteral("ВЫБРАН");

// A firewall held in memory. readsFail: the rule is there but no read sees it.
struct MemoryBackend final : FirewallBackend
{
    bool exists = false, readsFail = false, portsUnreadable = false;
    QString ports;
    QStringList added;
    int removes = 0;

    bool ruleExists() override { return exists && !readsFail; }
    QString currentRulePorts() override { return ruleExists() && !portsUnreadable ? ports : QString(); }
    bool removeRule() override
    {
        ++removes;
        exists = false;
        return true;
    }
    bool addRule(const QString &newPorts) override
    {
        added << newPorts;
        ports = newPorts;
        return exists = true;
    }
};

QString presetPorts(int index)
{
    return FirewallController::presets()[size_t(index)].ports;
}

// One letter a row: A "АКТИВНО", C "ВЫБРАН", . no badge.
QString badges(const FirewallManagerDialog &dialog)
{
    QString code;
    for (const RangeItemWidget *row : dialog.rangeItems())
        code += row->badgeText() == kActive ? QLatin1Char('A')
            : row->badgeText() == kChosen   ? QLatin1Char('C')
            : row->badgeText().isEmpty()    ? QLatin1Char('.')
                                            : QLatin1Char('?');
    return code;
}

QString notAdminText(const QString &action)
{
    return QStringLiteral(
        "⚠️ Для %1 правил брандмауэра необходимы права "
        "администратора.\n\n"
        "Запустите программу от имени администратора.")
        .arg(action);
}

} // namespace

class TestFirewallDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rowsAndApply_data();
    void rowsAndApply();
    void spinnerOnEveryApply();
    void clear_data();
    void clear();
    void adminWindowEveryWayOutEndsTheRun_data();
    void adminWindowEveryWayOutEndsTheRun();

private:
    std::unique_ptr<FirewallManagerDialog> makeDialog(bool waitForCheck = true);
    // Opens the help window (button or Ctrl+H) and presses its clear button.
    void clearFromHelp(FirewallManagerDialog &dialog, bool byKey = false);

    std::unique_ptr<MemoryBackend> m_backend;
    MemoryBackend *m_state = nullptr; // the firewall, owned by the dialog once it is made
};

void TestFirewallDialog::init()
{
    m_backend = std::make_unique<MemoryBackend>();
    m_state = m_backend.get();
    MessageBox::clearNextAnswers();
    MessageBox::resetRecord();
}

void TestFirewallDialog::cleanup()
{
    // An answer left over means a box the test expected was never asked.
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    MessageBox::clearNextAnswers();
    SystemSound::setPlayer({});
}

std::unique_ptr<FirewallManagerDialog> TestFirewallDialog::makeDialog(bool waitForCheck)
{
    auto dialog = std::make_unique<FirewallManagerDialog>(nullptr, std::move(m_backend));
    dialog->controller()->setAdminCheck([] { return true; });
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        return nullptr;
    if (waitForCheck && !QTest::qWaitFor([&] { return dialog->statusLabel()->text() != kChecking; }, 5000))
        return nullptr;
    return dialog;
}

void TestFirewallDialog::clearFromHelp(FirewallManagerDialog &dialog, bool byKey)
{
    auto helpText = std::make_shared<QString>(); // null while the help never opened
    QTimer::singleShot(0, &dialog, [&dialog, helpText] {
        auto *help = dialog.findChild<FirewallHelpDialog *>();
        if (!help || !QTest::qWaitForWindowExposed(help)) {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
            return;
        }
        *helpText = help->textBox()->toPlainText() + QLatin1Char('\n');
        QTest::mouseClick(help->clearButton(), Qt::LeftButton);
    });
    if (byKey)
        QTest::keyClick(&dialog, Qt::Key_H, Qt::ControlModifier);
    else
        QTest::mouseClick(dialog.helpButton(), Qt::LeftButton);
    QVERIFY(!helpText->isNull());
    // The help lists every range as the firewall will block it.
    for (const PortRangePreset &preset : FirewallController::presets())
        QVERIFY(
            helpText->contains(preset.name + QStringLiteral(": ") + firewall::displayPortList(preset.ports)));
    QVERIFY(!dialog.findChild<FirewallHelpDialog *>()); // deleted once closed
}

void TestFirewallDialog::rowsAndApply_data()
{
    QTest::addColumn<QString>("rulePorts"); // empty: no rule
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<int>("apply"); // 0: no, 1: as administrator, 2: without the rights
    QTest::addColumn<QString>("expectedBadges");
    QTest::addColumn<QString>("expectedStatus");
    QTest::addColumn<QString>("title"); // of the box shown after apply
    QTest::addColumn<QString>("text"); // part of it

    const QString none, absent = QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ");
    const QString active = QStringLiteral("ПРАВИЛО АКТИВНО"), range3 = presetPorts(2);
    QTest::newRow("no rule") << none << QList<int>() << 0 << "....." << absent << none << none;
    QTest::newRow("rule of range 3") << range3 << QList<int>() << 0 << "..A.." << active << none << none;
    QTest::newRow("one active, one chosen")
        << range3 << QList<int> {0} << 0 << "C.A.." << active << none << none;
    QTest::newRow("clicking the active row")
        << range3 << QList<int> {2} << 0 << "..C.." << active << none << none;
    QTest::newRow("choice moves") << none << QList<int> {1, 4} << 0 << "....C" << absent << none << none;
    // The quick check after detection only knows the rule exists.
    QTest::newRow("9001-9100 alone") << QStringLiteral("9001-9100") << QList<int>() << 0 << "....." << active
                                     << none << none;
    QTest::newRow("apply, nothing chosen: range 1")
        << range3 << QList<int>() << 1 << "A...." << active << "УСПЕХ" << presetPorts(0);
    QTest::newRow("apply without the rights") << none << QList<int> {3} << 2 << "...C." << absent
                                              << "ПРАВА ДОСТУПА" << notAdminText(QStringLiteral("изменения"));
}

void TestFirewallDialog::rowsAndApply()
{
    QFETCH(QString, rulePorts);
    QFETCH(QList<int>, clicks);
    QFETCH(int, apply);
    QFETCH(QString, expectedBadges);
    QFETCH(QString, expectedStatus);
    QFETCH(QString, title);
    QFETCH(QString, text);

    m_state->exists = !rulePorts.isEmpty();
    m_state->ports = rulePorts;
    auto dialog = makeDialog(false);
    QVERIFY(dialog);
    QCOMPARE(dialog->statusLabel()->text(), kChecking);
    QTRY_COMPARE(dialog->statusLabel()->text(),
        m_state->exists ? QStringLiteral("ПРАВИЛО АКТИВНО") : QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
    const int activeBefore = dialog->activeIndex();
    dialog->controller()->setAdminCheck([apply] { return apply == 1; });

    for (int index : clicks)
        QTest::mouseClick(dialog->rangeItems()[index], Qt::LeftButton);
    if (apply) {
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(dialog->applyButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->controller()->isBusy(), 5000);
        QCOMPARE(MessageBox::shownCount(), 1);
        QCOMPARE(MessageBox::lastShown().icon, apply == 1 ? QMessageBox::Information : QMessageBox::Warning);
        QCOMPARE(MessageBox::lastShown().title, title);
        QVERIFY2(MessageBox::lastShown().text.contains(text), qPrintable(MessageBox::lastShown().text));
    } else {
        QCOMPARE(dialog->activeIndex(), activeBefore); // only a firewall read changes it
        QCOMPARE(dialog->selectedIndex(), clicks.isEmpty() ? -1 : clicks.last());
    }
    QCOMPARE(m_state->added.size(), apply == 1 ? 1 : 0);
    QCOMPARE(badges(*dialog), expectedBadges);
    QCOMPARE(dialog->statusLabel()->text(), expectedStatus);
}

// Two applies in one opening; a clear asked for during the second runs after it.
void TestFirewallDialog::spinnerOnEveryApply()
{
    auto dialog = makeDialog();
    QVERIFY(dialog);
    QPushButton *apply = dialog->applyButton();
    for (int round = 0; round < 2; ++round) {
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(apply, Qt::LeftButton);
        // The firewall is written only after the spinner had its chance to paint.
        QVERIFY(dialog->isApplying());
        QCOMPARE(m_state->added.size(), round);
        dialog->controller()->applyRule(); // ignored while busy
        QVERIFY(!apply->isEnabled());
        QPointer<QLabel> spinner = dialog->spinnerLabel();
        QVERIFY(spinner && spinner->isVisible());
        QTRY_VERIFY(dialog->spinnerFrame() > 0); // it turns
        if (round == 1) {
            MessageBox::setNextAnswer(QMessageBox::Yes);
            MessageBox::setNextAnswer(QMessageBox::Ok);
            dialog->clearRule();
            QTest::keyClick(dialog.get(), Qt::Key_Escape); // stays open while the firewall changes
            QVERIFY(dialog->isVisible());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isApplying(), 5000);
        QVERIFY(apply->isEnabled());
        QCOMPARE(apply->text(), QStringLiteral("ПРИМЕНИТЬ"));
        QTRY_VERIFY(!spinner); // the old label is gone, not merely hidden
    }
    QCOMPARE(m_state->added.size(), 2);
    QCOMPARE(m_state->removes, 1);
    QVERIFY(!m_state->exists);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
}

void TestFirewallDialog::clear_data()
{
    QTest::addColumn<bool>("admin");
    QTest::addColumn<bool>("yes");
    // 1: ports unreadable, 2: nothing readable, 3: before the first check
    QTest::addColumn<int>("readFailure");
    QTest::addColumn<QString>("title"); // of the last box shown
    QTest::addColumn<QString>("text");

    const QString success = QStringLiteral("Правила брандмауэра успешно удалены!\n\n"
                                           "Теперь игра будет иметь стандартный доступ к сети.");
    QTest::newRow("yes") << true << true << 0 << "УСПЕХ" << success;
    QTest::newRow("no") << true << false << 0 << "ОЧИСТКА ПРАВИЛ"
                        << "Вы уверены, что хотите удалить все правила брандмауэра для Русской Рыбалки 4?\n\n"
                           "Это восстановит стандартный доступ к игре.";
    QTest::newRow("not an administrator")
        << false << true << 0 << "ПРАВА ДОСТУПА" << notAdminText(QStringLiteral("удаления"));
    // Clearing must not depend on reading the rule back.
    QTest::newRow("ports unreadable") << true << true << 1 << "УСПЕХ" << success;
    QTest::newRow("nothing readable") << true << true << 2 << "УСПЕХ" << success;
    QTest::newRow("before the first check") << true << true << 3 << "УСПЕХ" << success;
}

void TestFirewallDialog::clear()
{
    QFETCH(bool, admin);
    QFETCH(bool, yes);
    QFETCH(int, readFailure);
    QFETCH(QString, title);
    QFETCH(QString, text);

    m_state->exists = true;
    m_state->ports = presetPorts(0);
    m_state->portsUnreadable = readFailure == 1;
    m_state->readsFail = readFailure == 2;
    auto dialog = makeDialog(readFailure != 3);
    QVERIFY(dialog);
    dialog->controller()->setAdminCheck([admin] { return admin; });
    if (admin)
        MessageBox::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
    if (yes)
        MessageBox::setNextAnswer(QMessageBox::Ok);
    clearFromHelp(*dialog, readFailure == 1); // Ctrl+H opens the help too
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->isApplying(), 5000);

    QCOMPARE(MessageBox::lastShown().title, title);
    QCOMPARE(MessageBox::lastShown().text, text);
    const bool removed = admin && yes;
    QCOMPARE(m_state->removes, removed ? 1 : 0);
    QCOMPARE(m_state->exists, !removed);
    if (removed && !readFailure) {
        QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
        QCOMPARE(badges(*dialog), QStringLiteral("....."));
    }
}

void TestFirewallDialog::adminWindowEveryWayOutEndsTheRun_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("result");
    QTest::newRow("close button") << QStringLiteral("close") << int(QDialog::Accepted);
    QTest::newRow("confirm") << QStringLiteral("confirm") << int(QDialog::Accepted);
    QTest::newRow("Escape") << QStringLiteral("escape") << int(QDialog::Rejected);
}

void TestFirewallDialog::adminWindowEveryWayOutEndsTheRun()
{
    QFETCH(QString, way);
    QFETCH(int, result);

    int beeps = 0;
    SystemSound::setPlayer([&beeps] { ++beeps; });
    AdminRequiredDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(beeps, 0); // the sound follows the window, it does not precede it
        QTRY_COMPARE(beeps, 1);
        if (way == QLatin1String("escape"))
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(way == QLatin1String("close") ? static_cast<QWidget *>(dialog.closeButton())
                                                            : dialog.confirmButton(),
                Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(beeps, 1);
}

QTEST_MAIN(TestFirewallDialog)
#include "tst_firewalldialog.moc"
