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

    void watermarkInLowerRightCorner()
    {
        Screenshot shot;
        const QImage plain = capture(shot, false).toImage();
        const QImage stamped = capture(shot, true).toImage();
        QVERIFY(!plain.isNull());
        const qreal dpr = stamped.devicePixelRatio();
        const auto gray = [dpr](const QImage &image, int x, int y) {
            return qGray(image.pixel(int(x * dpr), int(y * dpr)));
        };
        // A dark box in the lower right corner with white text in it; elsewhere unchanged.
        QCOMPARE(gray(plain, 380, 250), 255);
        QVERIFY(gray(stamped, 385, 236) < 120);
        QCOMPARE(gray(stamped, 5, 5), 255);
        QCOMPARE(gray(stamped, 385, 225), 255);
        bool text = false;
        for (int x = 250; x < 385 && !text; ++x)
            for (int y = 235; y < 285 && !text; ++y)
                text = gray(stamped, x, y) > 200;
        QVERIFY(text);
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

    void clipboard()
    {
        Screenshot shot;
        QVERIFY(!shot.copyToClipboard());
        QVERIFY(QGuiApplication::clipboard()->image().isNull());
        const QPixmap picture = capture(shot);
        QVERIFY(shot.copyToClipboard());
        QCOMPARE(QGuiApplication::clipboard()->image().size(), picture.size());
    }
};

QTEST_MAIN(TestScreenshot)
#include "tst_screenshot.moc"
