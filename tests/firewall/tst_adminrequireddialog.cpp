#include "firewall/adminrequireddialog.h"
#include "ui/svgbutton.h"
#include "ui/systemsound.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestAdminRequiredDialog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SystemSound::setPlayer({}); }
    void everyWayOutEndsTheRun_data();
    void everyWayOutEndsTheRun();
};

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

    int beeps = 0;
    SystemSound::setPlayer([&beeps] { ++beeps; });
    AdminRequiredDialog dialog;
    QStringList texts;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        texts << label->text();
    QVERIFY(texts.contains(QStringLiteral("ТРЕБУЮТСЯ ПРАВА АДМИНИСТРАТОРА")));
    QCOMPARE(dialog.confirmButton()->text(), QStringLiteral("Понятно"));

    QTimer::singleShot(0, &dialog, [&] {
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(beeps, 0); // the sound follows the window, it does not precede it
        QTRY_COMPARE(beeps, 1);
        if (way == QLatin1String("close"))
            QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
        else if (way == QLatin1String("confirm"))
            QTest::mouseClick(dialog.confirmButton(), Qt::LeftButton);
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(beeps, 1);
}

QTEST_MAIN(TestAdminRequiredDialog)
#include "tst_adminrequireddialog.moc"
