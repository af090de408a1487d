#include "firewall/adminrequireddialog.h"
#include "ui/animatedbackground.h"
#include "ui/svgbutton.h"
#include "ui/systemsound.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

class TestAdminRequiredDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void showsTheExplanation();
    void everyWayOutEndsTheRun_data();
    void everyWayOutEndsTheRun();
    void beepsOnceShortlyAfterShowing();

private:
    int m_beeps = 0;
};

void TestAdminRequiredDialog::init()
{
    m_beeps = 0;
    SystemSound::setPlayer([this] { ++m_beeps; });
}

void TestAdminRequiredDialog::cleanup()
{
    SystemSound::setPlayer({});
}

void TestAdminRequiredDialog::showsTheExplanation()
{
    AdminRequiredDialog dialog;
    QCOMPARE(dialog.size(), QSize(420, 480));
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(dialog.titleBar());
    QVERIFY(qobject_cast<AnimatedBackground *>(dialog.backgroundWidget()));

    QStringList texts;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        texts << label->text();
    QVERIFY(texts.contains(QStringLiteral("ТРЕБУЮТСЯ ПРАВА АДМИНИСТРАТОРА")));
    QVERIFY(texts.contains(QStringLiteral("НУЖНЫ ПРАВА АДМИНИСТРАТОРА")));
    const auto *info = dialog.findChild<QLabel *>(QStringLiteral("adminInfoText"));
    QVERIFY(info);
    QVERIFY(info->text().startsWith(QStringLiteral("Для работы программы необходимы права администратора.")));
    QVERIFY(info->text().endsWith(QStringLiteral("3. Выберите «Запуск от имени администратора»")));
    QCOMPARE(dialog.closeButton()->toolTip(), QStringLiteral("Закрыть"));
    QCOMPARE(dialog.confirmButton()->text(), QStringLiteral("Понятно"));
    QCOMPARE(dialog.confirmButton()->size(), QSize(120, 38));

    // Without an application icon the title bar shows the warning sign instead.
    QVERIFY(QApplication::windowIcon().isNull());
    QVERIFY(texts.contains(QStringLiteral("⚠️")));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(dialog.frameGeometry().center().x() - available.center().x()) <= 1);
    QVERIFY(qAbs(dialog.frameGeometry().center().y() - available.center().y()) <= 1);
    QVERIFY(!dialog.mask().contains(QPoint(0, 0)));
    QVERIFY(dialog.mask().contains(QPoint(210, 240)));
}

void TestAdminRequiredDialog::everyWayOutEndsTheRun_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("result");
    QTest::newRow("close button") << QStringLiteral("close") << int(QDialog::Accepted);
    QTest::newRow("Понятно") << QStringLiteral("confirm") << int(QDialog::Accepted);
    QTest::newRow("Escape") << QStringLiteral("escape") << int(QDialog::Rejected);
}

void TestAdminRequiredDialog::everyWayOutEndsTheRun()
{
    QFETCH(QString, way);
    QFETCH(int, result);

    AdminRequiredDialog dialog;
    QTimer::singleShot(0, &dialog, [&] {
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        if (way == QLatin1String("close"))
            QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
        else if (way == QLatin1String("confirm"))
            QTest::mouseClick(dialog.confirmButton(), Qt::LeftButton);
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(!dialog.isVisible());
}

void TestAdminRequiredDialog::beepsOnceShortlyAfterShowing()
{
    AdminRequiredDialog dialog;
    dialog.show();
    QCOMPARE(m_beeps, 0); // the sound follows the window, it does not precede it
    QTRY_COMPARE(m_beeps, 1);
    dialog.hide();
    dialog.show();
    QTRY_COMPARE(m_beeps, 2);
}

QTEST_MAIN(TestAdminRequiredDialog)
#include "tst_adminrequireddialog.moc"
