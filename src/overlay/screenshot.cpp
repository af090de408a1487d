#include "overlay/screenshot.h"

#include "core/appconfig.h"
#include "core/datapaths.h"
#include "ui/filedialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

namespace {

// The product web site's host name in capitals.
QString siteLine()
{
    const QString host = QUrl(QString::fromLatin1(AppConfig::kWebSiteUrl)).host();
    return (host.isEmpty() ? QString::fromLatin1(AppConfig::kWebSiteUrl) : host).toUpper();
}

} // namespace

Screenshot::Screenshot(QObject *parent) : QObject(parent) { }

bool Screenshot::captureWindow(QWidget *widget, int kind)
{
    if (!widget || !widget->isVisible()) {
        emit screenshotError(QStringLiteral("Окно не видимо или не существует"));
        return false;
    }
    m_captureKind = kind;
    QPixmap picture = widget->grab();
    if (picture.isNull()) {
        emit screenshotError(QStringLiteral("Не удалось создать скриншот"));
        return false;
    }
    if (m_watermarkEnabled)
        picture = addWatermark(picture);
    m_lastScreenshot = picture;
    emit screenshotCaptured(m_lastScreenshot);
    return true;
}

QPixmap Screenshot::addWatermark(const QPixmap &picture) const
{
    QPixmap stamped = picture;
    if (stamped.isNull())
        return stamped;
    // Logical size: a grab on a high-density screen carries a device pixel ratio.
    const QSizeF size = stamped.deviceIndependentSize();
    const int width = qRound(size.width());
    const int height = qRound(size.height());

    const QStringList lines = {
        QStringLiteral("KESTREL v%1").arg(QLatin1String(AppConfig::kAppVersion)),
        QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
        siteLine(),
    };

    QPainter painter(&stamped);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QFont font = painter.font();
    font.setPointSize(9);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    int textWidth = 0;
    for (const QString &line : lines)
        textWidth = qMax(textWidth, metrics.horizontalAdvance(line));

    QPainterPath box;
    box.addRoundedRect(QRectF(width - textWidth - 30, height - 70, textWidth + 20, 60), 8, 8);
    painter.setPen(Qt::NoPen);
    painter.fillPath(box, QColor(0, 0, 0, 180));

    painter.setPen(QColor(255, 255, 255, 220));
    const int x = width - textWidth - 20;
    painter.drawText(x, height - 52, lines.at(0));
    painter.drawText(x, height - 34, lines.at(1));
    painter.drawText(x, height - 16, lines.at(2));
    painter.end();
    return stamped;
}

QString Screenshot::screenshotFolderFrom(
    const QString &pictures, const QString &desktop, const QString &programDir)
{
    QString base = pictures;
    if (base.isEmpty())
        base = desktop;
    if (base.isEmpty())
        base = programDir;
    return base + QStringLiteral("/TORVAL_Screenshots");
}

QString Screenshot::screenshotFolder()
{
    return screenshotFolderFrom(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation),
        QStandardPaths::writableLocation(QStandardPaths::DesktopLocation), DataPaths::writableFolder());
}

QString Screenshot::screenshotFileName()
{
    return QStringLiteral("TORVAL_%1.png")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
}

QString Screenshot::withDefaultExtension(const QString &fileName)
{
    // Only the file's own name counts: a full stop in a folder name is not an extension.
    if (QFileInfo(fileName).fileName().contains(QLatin1Char('.')))
        return fileName;
    return fileName + QStringLiteral(".png");
}

const char *Screenshot::formatForFileName(const QString &fileName)
{
    const QString lower = fileName.toLower();
    if (lower.endsWith(QLatin1String(".jpg")) || lower.endsWith(QLatin1String(".jpeg")))
        return "JPG";
    if (lower.endsWith(QLatin1String(".bmp")))
        return "BMP";
    return "PNG";
}

QSize Screenshot::previewSize(const QSize &picture)
{
    const QSize limit(450, 300);
    if (picture.width() <= limit.width() && picture.height() <= limit.height())
        return picture;
    return picture.scaled(limit, Qt::KeepAspectRatio);
}

bool Screenshot::saveScreenshot(const QString &path)
{
    if (m_lastScreenshot.isNull()) {
        emit screenshotError(QStringLiteral("Нет скриншота для сохранения"));
        return false;
    }

    QString target = path;
    if (target.isEmpty()) {
        const QString folder = screenshotFolder();
        QDir().mkpath(folder);
        target = FileDialog::getSaveFileName(nullptr, QStringLiteral("Сохранить скриншот"),
            QDir(folder).filePath(screenshotFileName()),
            QStringLiteral("Изображения (*.png *.jpg *.bmp);;Все файлы (*.*)"));
        if (target.isEmpty())
            return false;
        target = withDefaultExtension(target);
    }

    if (!m_lastScreenshot.save(target, formatForFileName(target), kQuality)) {
        qWarning() << "[SCREENSHOT] Cannot save" << target;
        emit screenshotError(QStringLiteral("Не удалось сохранить файл: %1").arg(target));
        return false;
    }
    m_lastSavedPath = target;
    emit screenshotSaved(target);
    return true;
}

bool Screenshot::copyToClipboard()
{
    if (m_lastScreenshot.isNull())
        return false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setPixmap(m_lastScreenshot);
    return true;
}
