// The firewall manager window over an in-memory firewall: apply and its spinner, and the
// help window's clear path. The rows' logic is the controller's, tested with the backends.

#include "firewall/firewallbackend.h"
#include "firewall/firewallcontroller.h"
#include "firewall/firewallhelpdialog.h"
#include "firewall/firewallmanagerdialog.h"
#include "firewall/rangeitemwidget.h"
#include "ui/messagebox.h"
#include "ui/svgbutton.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace {

// A firewall held in memory. readsFail: the rule is there but no read sees it.
struct MemoryBackend final : FirewallBackend
{
    bool exists = false, readsFail = false;
    QString ports;
    int adds = 0, removes = 0;

    bool ruleExists() override { return exists && !readsFail; }
    QString currentRulePorts() override { return ruleExists() ? ports : QString(); }
    bool removeRule() override
    {
        ++removes;
        exists = false;
        return true;
    }
    bool addRule(const QString &newPorts) override
    {
        ++adds;
        ports = newPorts;
        return exists = true;
    }
};

} // namespace

class TestFirewallDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<MemoryBackend> m_backend;
    MemoryBackend *m_state = nullptr; // the firewall, owned by the dialog once it is made

    std::unique_ptr<FirewallManagerDialog> makeDialog(bool admin = true)
    {
        auto dialog = std::make_unique<FirewallManagerDialog>(nullptr, std::move(m_backend));
        dialog->controller()->setAdminCheck([admin] { return admin; });
        dialog->show();
        return QTest::qWaitForWindowExposed(dialog.get()) ? std::move(dialog) : nullptr;
    }

private slots:
    void init()
    {
        m_backend = std::make_unique<MemoryBackend>();
        m_state = m_backend.get();
        MessageBox::resetRecord();
    }

    void cleanup()
    {
        // An answer left over means a box the test expected was never asked.
        QCOMPARE(MessageBox::pendingAnswers(), 0);
        MessageBox::clearNextAnswers();
    }

    // Two applies in one opening; a clear asked for during the second runs after it.
    void spinnerOnEveryApply()
    {
        auto dialog = makeDialog();
        QVERIFY(dialog);
        QPushButton *apply = dialog->applyButton();
        for (int round = 0; round < 2; ++round) {
            MessageBox::setNextAnswer(QMessageBox::Ok);
            QTest::mouseClick(apply, Qt::LeftButton);
            // The firewall is written only after the spinner had its chance to paint.
            QVERIFY(dialog->isApplying() && !apply->isEnabled());
            QCOMPARE(m_state->adds, round);
            dialog->controller()->applyRule(); // ignored while busy
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
            QVERIFY(apply->isEnabled() && apply->text() == QStringLiteral("ПРИМЕНИТЬ"));
            QTRY_VERIFY(!spinner); // the old label is gone, not merely hidden
            if (round == 0) // the rows show what the firewall now holds
                QCOMPARE(dialog->rangeItems()[0]->badgeText(), QStringLiteral("АКТИВНО"));
        }
        QVERIFY(m_state->adds == 2 && m_state->removes == 1 && !m_state->exists);
        QCOMPARE(dialog->rangeItems()[0]->badgeText(), QString()); // cleared: no row is active
    }

    void clearFromHelp_data()
    {
        QTest::addColumn<bool>("admin");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("readsFail"); // clearing must not depend on reading the rule back
        QTest::addColumn<QString>("title"); // of the last box shown
        QTest::newRow("yes") << true << true << false << "УСПЕХ";
        QTest::newRow("no") << true << false << false << "ОЧИСТКА ПРАВИЛ";
        QTest::newRow("not an administrator") << false << true << false << "ПРАВА ДОСТУПА";
        QTest::newRow("nothing readable") << true << true << true << "УСПЕХ";
    }

    void clearFromHelp()
    {
        QFETCH(bool, admin);
        QFETCH(bool, yes);
        QFETCH(bool, readsFail);
        QFETCH(QString, title);

        m_state->exists = true;
        m_state->ports = FirewallController::presets()[0].ports;
        m_state->readsFail = readsFail;
        auto dialog = makeDialog(admin);
        QVERIFY(dialog);
        if (admin)
            MessageBox::setNextAnswer(yes ? QMessageBox::Yes : QMessageBox::No);
        if (yes) // the box that ends it: success, or the missing rights
            MessageBox::setNextAnswer(QMessageBox::Ok);
        QString helpText;
        QTimer::singleShot(0, dialog.get(), [&dialog, &helpText] {
            auto *help = dialog->findChild<FirewallHelpDialog *>();
            if (!help || !QTest::qWaitForWindowExposed(help)) {
                if (QWidget *modal = QApplication::activeModalWidget())
                    modal->close();
                return;
            }
            helpText = help->textBox()->toPlainText();
            QTest::mouseClick(help->clearButton(), Qt::LeftButton);
        });
        QTest::mouseClick(dialog->helpButton(), Qt::LeftButton);
        QVERIFY(helpText.contains(QStringLiteral("Диапазон 5: 9001-9500, 9599-9999")));
        QVERIFY(!dialog->findChild<FirewallHelpDialog *>()); // deleted once closed
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isApplying(), 5000);

        QCOMPARE(MessageBox::lastShown().title, title);
        const bool removed = admin && yes;
        QCOMPARE(m_state->removes, removed ? 1 : 0);
        QCOMPARE(m_state->exists, !removed);
        if (removed)
            QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
    }
};

QTEST_MAIN(TestFirewallDialog)
#include "tst_firewalldialog.moc"
