#include "overlay/screenshotpreviewdialog.h"

#include "overlay/screenshot.h"
#include "ui/dialogchrome.h"
#include "ui/styles.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char kSaveStyle[]
    = "QPushButton { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #059669, stop:1 #065f46); "
      "border:1px solid #047857; color:white; font-size:13px; font-weight:bold; border-radius:8px; } "
      "QPushButton:hover { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #10b981, stop:1 #059669); "
      "} "
      "QPushButton:pressed { background:#047857; }";
const char kCopyStyle[] = "QPushButton { background:#3b82f6; border:none; color:white; font-size:13px; "
                          "font-weight:bold; border-radius:8px; } QPushButton:hover { background:#2563eb; } "
                          "QPushButton:pressed { background:#1d4ed8; }";
const char kPictureStyle[] = "background:rgba(30,41,59,180); border:1px solid rgba(51,65,85,150); "
                             "border-radius:12px; padding:10px;";
const char kDialogStyle[] = "QDialog { background:transparent; } QToolTip { background-color:#1e293b; "
                            "color:#e2e8f0; border:1px solid #3b82f6; border-radius:6px; }";

QPushButton *makeButton(const QString &text, const char *style, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setFixedSize(140, 40);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QLatin1String(style));
    return button;
}

// A framed label that draws its picture fitted to the space inside the frame and padding,
// never stretched out of proportion and never cropped.
class PictureLabel final : public QLabel
{
public:
    PictureLabel(const QPixmap &picture, QWidget *parent) : QLabel(parent), m_picture(picture) { }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QFrame::paintEvent(event);
        if (m_picture.isNull())
            return;
        const QRect area = contentsRect();
        const QSize logical = m_picture.deviceIndependentSize().toSize();
        QSize size = logical;
        if (size.width() > area.width() || size.height() > area.height())
            size.scale(area.size(), Qt::KeepAspectRatio);
        QRect target(QPoint(0, 0), size);
        target.moveCenter(area.center());
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(target, m_picture);
    }

private:
    QPixmap m_picture;
};

} // namespace

ScreenshotPreviewDialog::ScreenshotPreviewDialog(
    Screenshot *screenshot, const QPixmap &picture, QWidget *parent)
    : MovableDialog(parent), m_screenshot(screenshot)
{
    DialogChrome::Options options;
    options.title = QStringLiteral("ПРЕДПРОСМОТР СКРИНШОТА");
    options.fixedSize = QSize(500, 450);
    options.stayOnTop = false;
    options.backgroundName = QStringLiteral("screenshotBackground");
    options.backgroundStyle = QStringLiteral("QWidget#screenshotBackground { background:transparent; "
                                             "border-radius:16px; border:1px solid rgba(59,130,246,100); }");
    options.titleStyle = QStringLiteral("QLabel#titleLabel { color:#e2e8f0; font-size:16px; font-weight:600; "
                                        "letter-spacing:0.5px; background:transparent; }");
    const DialogChrome chrome = DialogChrome::build(this, options);
    setWindowTitle(QStringLiteral("Предпросмотр скриншота"));
    setStyleSheet(QLatin1String(kDialogStyle));

    // The picture is fitted to the preview area beforehand (at most 450 x 300) and drawn
    // inside the framed label keeping its proportions.
    const QSize logical = picture.deviceIndependentSize().toSize();
    const QSize shown = Screenshot::previewSize(logical);
    if (!picture.isNull() && shown != logical) {
        m_shownPicture = picture.scaled(
            shown * picture.devicePixelRatio(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_shownPicture.setDevicePixelRatio(picture.devicePixelRatio());
    } else {
        m_shownPicture = picture;
    }
    auto *label = new PictureLabel(m_shownPicture, chrome.content);
    m_pictureLabel = label;
    m_pictureLabel->setObjectName(QStringLiteral("screenshotPicture"));
    m_pictureLabel->setMinimumSize(400, 250);
    m_pictureLabel->setStyleSheet(QLatin1String(kPictureStyle));
    chrome.contentLayout->addWidget(m_pictureLabel, 1);

    auto *row = new QHBoxLayout;
    row->setSpacing(15);
    m_saveButton = makeButton(QStringLiteral("СОХРАНИТЬ"), kSaveStyle, chrome.content);
    m_copyButton = makeButton(QStringLiteral("КОПИРОВАТЬ"), kCopyStyle, chrome.content);
    row->addStretch();
    row->addWidget(m_saveButton);
    row->addWidget(m_copyButton);
    row->addStretch();
    chrome.contentLayout->addLayout(row);

    connect(m_saveButton, &QPushButton::clicked, this, &ScreenshotPreviewDialog::onSaveClicked);
    connect(m_copyButton, &QPushButton::clicked, this, &ScreenshotPreviewDialog::onCopyClicked);
}

void ScreenshotPreviewDialog::onSaveClicked()
{
    if (m_screenshot && m_screenshot->saveScreenshot(QString()))
        accept();
}

void ScreenshotPreviewDialog::onCopyClicked()
{
    if (m_screenshot && m_screenshot->copyToClipboard()) {
        emit copied();
        accept();
    }
}
