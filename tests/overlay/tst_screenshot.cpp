#include "overlay/screenshot.h"
#include "ui/filedialog.h"

#include <QtTest>
#include <QtWidgets>

class TestScreenshot : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // Takes a picture of a plain white 400×300 window.
    static QPixmap capture(Screenshot &shot, bool watermark = true)
    {
        QLabel canvas;
        canvas.setStyleSheet(QStringLiteral("background: white"));
        canvas.setFixedSize(400, 300);
        canvas.show();
        shot.setWatermarkEnabled(watermark);
        return shot.captureWindow(&canvas) ? shot.lastScreenshot() : QPixmap();
    }

private slots:
    void init()
    {
        FileDialog::clearNextFileNames();
        QGuiApplication::clipboard()->clear();
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("savedAs");
        QTest::addColumn<QByteArray>("format");
        // clang-format off
        QTest::newRow("no extension") << "shot" << "shot.png" << QByteArray("png");
        QTest::newRow("upper-case JPEG") << "shot.JPEG" << "shot.JPEG" << QByteArray("jpeg");
        QTest::newRow("dot only in folder") << "dir.v2/shot" << "dir.v2/shot.png" << QByteArray("png");
        // clang-format on
    }

    void fileNames()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, savedAs);
        QFETCH(QByteArray, format);
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("dir.v2")));
        Screenshot shot;
        capture(shot);
        QSignalSpy saved(&shot, &Screenshot::screenshotSaved);
        FileDialog::setNextFileName(m_dir.filePath(chosen));
        QVERIFY(shot.saveScreenshot());
        const QString path = m_dir.filePath(savedAs);
        QCOMPARE(saved.count(), 1);
        QCOMPARE(saved.at(0).at(0).toString(), path);

        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), format);
        QVERIFY(QFile::remove(path));
    }

    void saveFailures()
    {
        Screenshot shot;
        QSignalSpy errors(&shot, &Screenshot::screenshotError);
        capture(shot);
        const QString bad = m_dir.filePath(QStringLiteral("missing/folder/x.png"));
        QVERIFY(!shot.saveScreenshot(bad));
        QCOMPARE(errors.last().at(0).toString(), QStringLiteral("Не удалось сохранить файл: %1").arg(bad));
    }
};

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
