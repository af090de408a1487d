// The firewall manager window over an in-memory firewall: rows and their badges,
// the status line, apply and its spinner, the help window and the clear path.

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
#include <QSignalSpy>
#include <QSvgWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace {

const QString kChecking = QStringLiteral("ПРОВЕРКА СТАТУСА...");
const QString kActive = QStringLiteral("АКТИВНО");
const QString kChosen = QStringLiteral("ВЫБРАН");

// A firewall held in memory. readsFail models tools whose answers cannot be read:
// the rule is there, but neither its existence nor its ports come back.
class MemoryBackend final : public FirewallBackend
{
public:
    struct State
    {
        bool exists = false;
        QString ports;
        bool readsFail = false;
        bool portsUnreadable = false;
        QStringList added;
        int removes = 0;
    };
    explicit MemoryBackend(std::shared_ptr<State> state) : m_state(std::move(state)) { }

    bool ruleExists() override { return m_state->exists && !m_state->readsFail; }
    QString currentRulePorts() override
    {
        return ruleExists() && !m_state->portsUnreadable ? m_state->ports : QString();
    }
    bool removeRule() override
    {
        ++m_state->removes;
        m_state->exists = false;
        m_state->ports.clear();
        return true;
    }
    bool addRule(const QString &ports) override
    {
        m_state->added << ports;
        m_state->exists = true;
        m_state->ports = ports;
        return true;
    }

private:
    std::shared_ptr<State> m_state;
};

QString presetPorts(int index)
{
    return FirewallController::presets()[size_t(index)].ports;
}

QStringList badges(const FirewallManagerDialog &dialog)
{
    QStringList texts;
    for (const RangeItemWidget *row : dialog.rangeItems())
        texts << row->badgeText();
    return texts;
}

// Whether the painted row shows a pill outline in the given colour where the badge goes.
bool paintsBadge(RangeItemWidget *row, const QColor &accent)
{
    const QImage image = row->grab().toImage();
    const QRectF badge = row->badgeRect();
    const int y = int(badge.center().y() * image.devicePixelRatio());
    for (int x = int((badge.left() - 3) * image.devicePixelRatio());
         x <= int((badge.left() + 3) * image.devicePixelRatio()); ++x) {
        const QColor c = image.pixelColor(x, y);
        if (qAbs(c.red() - accent.red()) < 40 && qAbs(c.green() - accent.green()) < 40
            && qAbs(c.blue() - accent.blue()) < 40)
            return true;
    }
    return false;
}

// Red cross or green check: which colour dominates the rendered status icon.
QString iconColour(QSvgWidget *icon)
{
    const QImage image = icon->grab().toImage();
    int red = 0, green = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 200)
                continue;
            red += c.red() > c.green() + 60;
            green += c.green() > c.red() + 60;
        }
    return red > green ? QStringLiteral("red") : QStringLiteral("green");
}

} // namespace

class TestFirewallDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rowsAndStatus_data();
    void rowsAndStatus();
    void rowMouse_data();
    void rowMouse();
    void applyTakesSelectionOrFirstPreset_data();
    void applyTakesSelectionOrFirstPreset();
    void spinnerOnEveryApply();
    void spinnerDotsCycle();
    void notAdminWarns_data();
    void notAdminWarns();
    void helpClearAsksFirst_data();
    void helpClearAsksFirst();
    void helpClosedWithoutClearing_data();
    void helpClosedWithoutClearing();
    void clearWhenStatusUnreadable_data();
    void clearWhenStatusUnreadable();
    void clearDuringApplyRunsAfterIt();
    void openedOverMainWindow();

private:
    std::unique_ptr<FirewallManagerDialog> makeDialog(bool waitForCheck = true);
    // Runs the help window and does what to it once it is up.
    void runHelp(FirewallManagerDialog &dialog, const QString &action, bool byKey = false);

    std::shared_ptr<MemoryBackend::State> m_state;
};

void TestFirewallDialog::init()
{
    m_state = std::make_shared<MemoryBackend::State>();
    MessageBox::clearNextAnswers();
    MessageBox::resetRecord();
}

void TestFirewallDialog::cleanup()
{
    // An answer left over means a box the test expected was never asked.
    QCOMPARE(MessageBox::pendingAnswers(), 0);
    MessageBox::clearNextAnswers();
}

std::unique_ptr<FirewallManagerDialog> TestFirewallDialog::makeDialog(bool waitForCheck)
{
    auto dialog = std::make_unique<FirewallManagerDialog>(nullptr, std::make_unique<MemoryBackend>(m_state));
    dialog->controller()->setAdminCheck([] { return true; });
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        return nullptr;
    if (waitForCheck && !QTest::qWaitFor([&] { return dialog->statusLabel()->text() != kChecking; }, 5000))
        return nullptr;
    return dialog;
}

void TestFirewallDialog::runHelp(FirewallManagerDialog &dialog, const QString &action, bool byKey)
{
    auto opened = std::make_shared<bool>(false);
    QTimer::singleShot(0, &dialog, [&dialog, action, opened] {
        auto *help = dialog.findChild<FirewallHelpDialog *>();
        if (!help || !QTest::qWaitForWindowExposed(help)) {
            if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
            return;
        }
        *opened = true;
        if (action == QLatin1String("clear"))
            QTest::mouseClick(help->clearButton(), Qt::LeftButton);
        else if (action == QLatin1String("close"))
            QTest::mouseClick(help->closeButton(), Qt::LeftButton);
        else
            QTest::keyClick(help, Qt::Key_Escape);
    });
    if (byKey)
        QTest::keyClick(&dialog, Qt::Key_H, Qt::ControlModifier);
    else
        QTest::mouseClick(dialog.helpButton(), Qt::LeftButton);
    QVERIFY(*opened);
    QVERIFY(!dialog.findChild<FirewallHelpDialog *>()); // deleted once closed
}

void TestFirewallDialog::rowsAndStatus_data()
{
    QTest::addColumn<QString>("rulePorts"); // empty: no rule
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<QStringList>("expectedBadges");
    QTest::addColumn<QString>("expectedStatus");
    QTest::addColumn<QString>("expectedIcon");

    const QString none;
    QTest::newRow("no rule, nothing chosen")
        << none << QList<int>() << QStringList(5, none) << QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ")
        << QStringLiteral("red");
    QTest::newRow("rule of range 3") << presetPorts(2) << QList<int>()
                                     << QStringList {none, none, kActive, none, none}
                                     << QStringLiteral("ПРАВИЛО АКТИВНО") << QStringLiteral("green");
    QTest::newRow("one active, one chosen")
        << presetPorts(2) << QList<int> {0} << QStringList {kChosen, none, kActive, none, none}
        << QStringLiteral("ПРАВИЛО АКТИВНО") << QStringLiteral("green");
    QTest::newRow("clicking the active row")
        << presetPorts(2) << QList<int> {2} << QStringList {none, none, kChosen, none, none}
        << QStringLiteral("ПРАВИЛО АКТИВНО") << QStringLiteral("green");
    QTest::newRow("choice moves") << none << QList<int> {1, 4}
                                  << QStringList {none, none, none, none, kChosen}
                                  << QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ") << QStringLiteral("red");
}

void TestFirewallDialog::rowsAndStatus()
{
    QFETCH(QString, rulePorts);
    QFETCH(QList<int>, clicks);
    QFETCH(QStringList, expectedBadges);
    QFETCH(QString, expectedStatus);
    QFETCH(QString, expectedIcon);

    m_state->exists = !rulePorts.isEmpty();
    m_state->ports = rulePorts;
    auto dialog = makeDialog(false);
    QVERIFY(dialog);
    QCOMPARE(dialog->statusLabel()->text(), kChecking);
    QCOMPARE(badges(*dialog), QStringList(5, QString()));
    QTRY_COMPARE(dialog->statusLabel()->text(), expectedStatus);
    const int activeBefore = dialog->activeIndex();

    for (int index : clicks)
        QTest::mouseClick(dialog->rangeItems()[index], Qt::LeftButton);

    QCOMPARE(badges(*dialog), expectedBadges);
    QCOMPARE(dialog->activeIndex(), activeBefore); // only a firewall read changes it
    QCOMPARE(dialog->selectedIndex(), clicks.isEmpty() ? -1 : clicks.last());
    for (RangeItemWidget *row : dialog->rangeItems()) {
        const QString badge = row->badgeText();
        QCOMPARE(paintsBadge(row, QColor(0x22, 0xc5, 0x5e)), badge == kActive);
        QCOMPARE(paintsBadge(row, QColor(0x3b, 0x82, 0xf6)), badge == kChosen);
    }
    QCOMPARE(iconColour(dialog->statusIcon()), expectedIcon);
}

void TestFirewallDialog::rowMouse_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("releaseAt"); // relative to the row's centre
    QTest::addColumn<bool>("clicked");

    QTest::newRow("left click") << Qt::LeftButton << QPoint(0, 0) << true;
    QTest::newRow("left, released outside") << Qt::LeftButton << QPoint(0, 200) << true;
    QTest::newRow("right click") << Qt::RightButton << QPoint(0, 0) << false;
}

void TestFirewallDialog::rowMouse()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, releaseAt);
    QFETCH(bool, clicked);

    auto dialog = makeDialog();
    QVERIFY(dialog);
    RangeItemWidget *row = dialog->rangeItems()[3];
    QSignalSpy spy(row, &RangeItemWidget::clicked);
    const QPoint centre = row->rect().center();
    QTest::mousePress(row, button, {}, centre);
    QCOMPARE(row->isPressed(), button == Qt::LeftButton);
    QTest::mouseRelease(row, button, {}, centre + releaseAt);
    QVERIFY(!row->isPressed());

    QCOMPARE(spy.count(), clicked ? 1 : 0);
    if (clicked)
        QCOMPARE(spy.first().first().toInt(), 3);
    QCOMPARE(row->isSelected(), clicked);
    QCOMPARE(dialog->selectedIndex(), clicked ? 3 : -1);
}

void TestFirewallDialog::applyTakesSelectionOrFirstPreset_data()
{
    QTest::addColumn<int>("clicked"); // -1: none
    QTest::addColumn<int>("applied");

    QTest::newRow("nothing chosen") << -1 << 0;
    QTest::newRow("range 4 chosen") << 3 << 3;
}

void TestFirewallDialog::applyTakesSelectionOrFirstPreset()
{
    QFETCH(int, clicked);
    QFETCH(int, applied);

    auto dialog = makeDialog();
    QVERIFY(dialog);
    if (clicked >= 0)
        QTest::mouseClick(dialog->rangeItems()[clicked], Qt::LeftButton);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    QTest::mouseClick(dialog->applyButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->controller()->isBusy(), 5000);

    QCOMPARE(m_state->added, QStringList {presetPorts(applied)});
    QCOMPARE(dialog->activeIndex(), applied);
    QStringList expected(5, QString());
    expected[applied] = kActive;
    QCOMPARE(badges(*dialog), expected);
    QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("ПРАВИЛО АКТИВНО"));
    const MessageBox::Record box = MessageBox::lastShown();
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.title, QStringLiteral("УСПЕХ"));
    QVERIFY(box.text.contains(presetPorts(applied)));
}

void TestFirewallDialog::spinnerOnEveryApply()
{
    auto dialog = makeDialog();
    QVERIFY(dialog);
    QPushButton *apply = dialog->applyButton();

    for (int round = 0; round < 2; ++round) {
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(apply, Qt::LeftButton);

        QVERIFY(dialog->isApplying());
        QVERIFY(!apply->isEnabled());
        QVERIFY(apply->text().isEmpty());
        QPointer<QLabel> spinner = dialog->spinnerLabel();
        QVERIFY(spinner);
        QVERIFY(spinner->isVisible());
        QCOMPARE(spinner->parentWidget(), apply);
        QVERIFY(dialog->spinnerTextLabel() && dialog->spinnerTextLabel()->isVisible());
        QVERIFY(dialog->spinnerTextLabel()->text().startsWith(QStringLiteral("ПРИМЕНЕНИЕ")));
        // The spinner turns while the rule is being written.
        QTRY_VERIFY(dialog->spinnerFrame() > 0);
        QVERIFY(!spinner->pixmap().isNull());

        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isApplying(), 5000);
        QVERIFY(apply->isEnabled());
        QCOMPARE(apply->text(), QStringLiteral("ПРИМЕНИТЬ"));
        QVERIFY(!apply->layout());
        QVERIFY(!dialog->spinnerLabel());
        QTRY_VERIFY(!spinner); // the old label is gone, not merely hidden
    }
    QCOMPARE(m_state->added.size(), 2);
}

void TestFirewallDialog::spinnerDotsCycle()
{
    auto dialog = makeDialog();
    QVERIFY(dialog);
    dialog->startApplyingAnimation();
    QLabel *text = dialog->spinnerTextLabel();
    QVERIFY(text);

    const QString base = QStringLiteral("ПРИМЕНЕНИЕ");
    QStringList seen;
    for (int step = 0; step < 5; ++step) {
        const QString before = text->text();
        QVERIFY(QTest::qWaitFor([&] { return text->text() != before; }, 2000));
        seen << text->text();
    }
    for (int i = 0; i < seen.size(); ++i) {
        QVERIFY2(seen[i].startsWith(base), qPrintable(seen[i]));
        const int dots = int(seen[i].size() - base.size());
        QVERIFY(dots >= 0 && dots <= 3);
        QCOMPARE(seen[i], base + QString(dots, QLatin1Char('.')));
        if (i > 0)
            QCOMPARE(dots, (int(seen[i - 1].size() - base.size()) + 1) % 4);
    }
    dialog->stopApplyingAnimation();
    QCOMPARE(dialog->applyButton()->text(), QStringLiteral("ПРИМЕНИТЬ"));
}

void TestFirewallDialog::notAdminWarns_data()
{
    QTest::addColumn<bool>("apply");
    QTest::addColumn<QString>("text");

    QTest::newRow("apply")
        << true
        << QStringLiteral(
               "⚠️ Для изменения правил брандмауэра необходимы "
               "права "
               "администратора.\n\nЗапустите программу от имени администратора.");
    QTest::newRow("clear")
        << false
        << QStringLiteral(
               "⚠️ Для удаления правил брандмауэра необходимы "
               "права "
               "администратора.\n\nЗапустите программу от имени администратора.");
}

void TestFirewallDialog::notAdminWarns()
{
    QFETCH(bool, apply);
    QFETCH(QString, text);

    m_state->exists = true;
    m_state->ports = presetPorts(1);
    auto dialog = makeDialog();
    QVERIFY(dialog);
    dialog->controller()->setAdminCheck([] { return false; });
    QSignalSpy busy(dialog->controller(), &FirewallController::busyChanged);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    if (apply)
        QTest::mouseClick(dialog->applyButton(), Qt::LeftButton);
    else
        runHelp(*dialog, QStringLiteral("clear"));

    const MessageBox::Record box = MessageBox::lastShown();
    QCOMPARE(MessageBox::shownCount(), 1); // no clear question without the rights
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.title, QStringLiteral("ПРАВА ДОСТУПА"));
    QCOMPARE(box.text, text);
    QCOMPARE(busy.count(), 0);
    QVERIFY(!dialog->isApplying());
    QVERIFY(m_state->added.isEmpty());
    QCOMPARE(m_state->removes, 0);
}

void TestFirewallDialog::helpClearAsksFirst_data()
{
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::newRow("yes") << QMessageBox::Yes;
    QTest::newRow("no") << QMessageBox::No;
}

void TestFirewallDialog::helpClearAsksFirst()
{
    QFETCH(QMessageBox::StandardButton, answer);
    const bool yes = answer == QMessageBox::Yes;

    m_state->exists = true;
    m_state->ports = presetPorts(0);
    auto dialog = makeDialog();
    QVERIFY(dialog);
    QSignalSpy busy(dialog->controller(), &FirewallController::busyChanged);

    MessageBox::setNextAnswer(answer);
    if (yes)
        MessageBox::setNextAnswer(QMessageBox::Ok);
    runHelp(*dialog, QStringLiteral("clear"));

    if (yes) {
        QVERIFY(dialog->isApplying());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isApplying(), 5000);
        QCOMPARE(MessageBox::lastShown().title, QStringLiteral("УСПЕХ"));
        QCOMPARE(dialog->statusLabel()->text(), QStringLiteral("ПРАВИЛО ОТСУТСТВУЕТ"));
        QCOMPARE(badges(*dialog), QStringList(5, QString()));
    } else {
        QCOMPARE(MessageBox::lastShown().title, QStringLiteral("ОЧИСТКА ПРАВИЛ"));
        QVERIFY(!dialog->isApplying());
        QCOMPARE(busy.count(), 0);
    }
    QCOMPARE(m_state->removes, yes ? 1 : 0);
    QCOMPARE(m_state->exists, !yes);
}

void TestFirewallDialog::helpClosedWithoutClearing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("byKey");
    QTest::newRow("close button") << QStringLiteral("close") << false;
    QTest::newRow("Escape") << QStringLiteral("escape") << false;
    QTest::newRow("opened with Ctrl+H") << QStringLiteral("close") << true;
}

void TestFirewallDialog::helpClosedWithoutClearing()
{
    QFETCH(QString, action);
    QFETCH(bool, byKey);
    m_state->exists = true;
    m_state->ports = presetPorts(0);
    auto dialog = makeDialog();
    QVERIFY(dialog);

    QSignalSpy finished(dialog.get(), &QDialog::finished);
    runHelp(*dialog, action, byKey);
    QCOMPARE(MessageBox::shownCount(), 0);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(m_state->removes, 0);
    QVERIFY(dialog->isVisible()); // Escape closed the help, not the manager
}

void TestFirewallDialog::clearWhenStatusUnreadable_data()
{
    QTest::addColumn<bool>("readsFail");
    QTest::addColumn<bool>("portsUnreadable");
    QTest::addColumn<bool>("beforeFirstCheck");

    QTest::newRow("ports unreadable") << false << true << false;
    QTest::newRow("nothing readable") << true << false << false;
    QTest::newRow("before the first check") << false << false << true;
}

void TestFirewallDialog::clearWhenStatusUnreadable()
{
    QFETCH(bool, readsFail);
    QFETCH(bool, portsUnreadable);
    QFETCH(bool, beforeFirstCheck);

    m_state->exists = true;
    m_state->ports = presetPorts(4);
    m_state->readsFail = readsFail;
    m_state->portsUnreadable = portsUnreadable;
    auto dialog = makeDialog(!beforeFirstCheck);
    QVERIFY(dialog);
    QVERIFY(dialog->helpButton()->isEnabled());

    MessageBox::setNextAnswer(QMessageBox::Yes);
    MessageBox::setNextAnswer(QMessageBox::Ok);
    runHelp(*dialog, QStringLiteral("clear"));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->isApplying(), 5000);

    QCOMPARE(m_state->removes, 1);
    QVERIFY(!m_state->exists);
}

void TestFirewallDialog::clearDuringApplyRunsAfterIt()
{
    auto dialog = makeDialog();
    QVERIFY(dialog);
    QSignalSpy cleared(dialog->controller(), &FirewallController::ruleCleared);

    MessageBox::setNextAnswer(QMessageBox::Ok); // applied
    MessageBox::setNextAnswer(QMessageBox::Yes); // clear question
    MessageBox::setNextAnswer(QMessageBox::Ok); // cleared
    QTest::mouseClick(dialog->applyButton(), Qt::LeftButton);
    QVERIFY(dialog->isApplying());
    dialog->clearRule();
    // The manager stays open while the firewall is being changed.
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(dialog->isVisible());

    QVERIFY(cleared.wait(5000));
    QCOMPARE(m_state->added.size(), 1);
    QCOMPARE(m_state->removes, 1);
    QVERIFY(!m_state->exists);
    QTRY_VERIFY(!dialog->isApplying());
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
}

void TestFirewallDialog::openedOverMainWindow()
{
    QWidget window;
    window.setGeometry(120, 80, 900, 820);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    window.setWindowIcon(QIcon(pixmap));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    FirewallManagerDialog dialog(&window, std::make_unique<MemoryBackend>(m_state));
    dialog.prepareFor(&window);
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.windowIcon().cacheKey(), window.windowIcon().cacheKey());
    QCOMPARE(dialog.size(), QSize(580, 750));
    QCOMPARE(dialog.geometry().center(), window.geometry().center());

    // The help window stays above a manager that is kept on top.
    auto *help = new FirewallHelpDialog(&dialog);
    QVERIFY(help->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(help->size(), QSize(550, 650));
    QCOMPARE(help->windowTitle(), QStringLiteral("Справка"));
    const QString text = help->textBox()->toPlainText();
    for (const PortRangePreset &preset : FirewallController::presets())
        QVERIFY(text.contains(preset.name + QStringLiteral(": ") + firewall::displayPortList(preset.ports)));
    delete help;
}

QTEST_MAIN(TestFirewallDialog)
#include "tst_firewalldialog.moc"
