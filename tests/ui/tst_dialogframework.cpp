#include "app/settingskeys.h"
#include "ui/animatedbackground.h"
#include "ui/basemovabledialog.h"
#include "ui/dialogchrome.h"
#include "ui/icons.h"
#include "ui/movabledialog.h"
#include "ui/svgbutton.h"

#include <QLabel>
#include <QSvgRenderer>
#include <QTest>
#include <QToolTip>

namespace {

bool allTransparent(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
    return true;
}

DialogChrome::Options chromeOptions(const QString &title = QStringLiteral("ТЕСТ"))
{
    DialogChrome::Options options;
    options.title = title;
    options.fixedSize = QSize(400, 300);
    options.center = false;
    return options;
}

} // namespace

class TestDialogFramework : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void drag_data();
    void drag();
    void dialogWithoutTitleBarStaysPut();

    void opacityFollowsSettingAtNextShow_data();
    void opacityFollowsSettingAtNextShow();
    void opacityLeftAloneWhenNotAsked();

    void chromeNamesWhatStyleSheetsSelect();
    void chromeCloseButton_data();
    void chromeCloseButton();
    void chromeExtraButtonSitsLeftOfClose();
    void chromeKeepsPanelAndBackgroundFitted();
    void chromeCentresOnParent();

    void roundedMaskCutsCorners_data();
    void roundedMaskCutsCorners();

    void svgButtonPaintsOnlyAValidIcon_data();
    void svgButtonPaintsOnlyAValidIcon();

    void favouriteButtonExplainsAtOnce_data();
    void favouriteButtonExplainsAtOnce();

    void iconsAreValidFeatherSvg_data();
    void iconsAreValidFeatherSvg();
};

void TestDialogFramework::init()
{
    openSettings().clear();
}

void TestDialogFramework::drag_data()
{
    QTest::addColumn<bool>("movableDialog"); // MovableDialog instead of BaseMovableDialog
    QTest::addColumn<QPoint>("pressAt"); // dialog coordinates
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("moves");

    for (bool movable : {false, true}) {
        const char *name = movable ? "MovableDialog" : "BaseMovableDialog";
        QTest::addRow("%s: title bar", name) << movable << QPoint(120, 20) << Qt::LeftButton << true;
        QTest::addRow("%s: last title bar row", name) << movable << QPoint(120, 44) << Qt::LeftButton << true;
        QTest::addRow("%s: first row below", name) << movable << QPoint(120, 45) << Qt::LeftButton << false;
        QTest::addRow("%s: content", name) << movable << QPoint(120, 200) << Qt::LeftButton << false;
        QTest::addRow("%s: right button", name) << movable << QPoint(120, 20) << Qt::RightButton << false;
    }
}

void TestDialogFramework::drag()
{
    QFETCH(bool, movableDialog);
    QFETCH(QPoint, pressAt);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, moves);

    std::unique_ptr<BaseDialog> dialog;
    if (movableDialog)
        dialog = std::make_unique<MovableDialog>();
    else
        dialog = std::make_unique<BaseMovableDialog>();
    DialogChrome::build(dialog.get(), chromeOptions());
    dialog->move(100, 100);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QPoint start = dialog->pos();

    const QPoint pressGlobal = dialog->mapToGlobal(pressAt);
    const QPoint delta(37, 23);
    QTest::mousePress(dialog.get(), button, {}, pressAt);
    QTest::mouseMove(dialog.get(), pressAt + delta);
    QTest::mouseRelease(dialog.get(), button, {}, pressAt + delta);

    if (moves) {
        QTRY_COMPARE(dialog->pos(), start + delta);
        // The grabbed point stays under the cursor.
        QCOMPARE(dialog->mapFromGlobal(pressGlobal + delta), pressAt);
    } else {
        QCoreApplication::processEvents();
        QCOMPARE(dialog->pos(), start);
    }
}

void TestDialogFramework::dialogWithoutTitleBarStaysPut()
{
    BaseMovableDialog dialog;
    dialog.setFixedSize(300, 200);
    dialog.move(50, 50);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.titleBar());

    QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!dialog.isDragging());
    QTest::mouseMove(&dialog, QPoint(60, 40));
    QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(60, 40));
    QCoreApplication::processEvents();
    QCOMPARE(dialog.pos(), QPoint(50, 50));
}

void TestDialogFramework::opacityFollowsSettingAtNextShow_data()
{
    QTest::addColumn<QVariant>("atConstruction"); // invalid: key absent
    QTest::addColumn<QVariant>("beforeShow");
    QTest::addColumn<double>("expectedAtConstruction");
    QTest::addColumn<double>("expectedAtShow");

    QTest::newRow("absent, then 50") << QVariant() << QVariant(50) << 0.85 << 0.50;
    QTest::newRow("100, then 30") << QVariant(100) << QVariant(30) << 1.0 << 0.30;
    QTest::newRow("40, then removed") << QVariant(40) << QVariant() << 0.40 << 0.85;
}

void TestDialogFramework::opacityFollowsSettingAtNextShow()
{
    QFETCH(QVariant, atConstruction);
    QFETCH(QVariant, beforeShow);
    QFETCH(double, expectedAtConstruction);
    QFETCH(double, expectedAtShow);
    const QString key = QLatin1String(SettingsKeys::kWindowOpacity);
    const auto store = [&](const QVariant &value) {
        QSettings settings = openSettings();
        if (value.isValid())
            settings.setValue(key, value);
        else
            settings.remove(key);
        settings.sync();
    };

    store(atConstruction);
    BaseMovableDialog dialog;
    dialog.resize(200, 100);
    // Window opacity is kept in steps of 1/255.
    QVERIFY(qAbs(dialog.windowOpacity() - expectedAtConstruction) < 0.01);

    store(beforeShow);
    QVERIFY(qAbs(dialog.windowOpacity() - expectedAtConstruction) < 0.01);
    dialog.show();
    QVERIFY(qAbs(dialog.windowOpacity() - expectedAtShow) < 0.01);
}

void TestDialogFramework::opacityLeftAloneWhenNotAsked()
{
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kWindowOpacity), 40);
    settings.sync();
    BaseDialog dialog(nullptr, false);
    dialog.show();
    QCOMPARE(dialog.windowOpacity(), 1.0);
}

void TestDialogFramework::chromeNamesWhatStyleSheetsSelect()
{
    BaseMovableDialog dialog;
    const DialogChrome chrome
        = DialogChrome::build(&dialog, chromeOptions(QStringLiteral("ИЗБРАННЫЕ ПОРТЫ")));

    QCOMPARE(chrome.background->objectName(), QStringLiteral("dialogBackground"));
    QCOMPARE(chrome.titleBar->objectName(), QStringLiteral("titleBar"));
    QCOMPARE(chrome.titleLabel->objectName(), QStringLiteral("titleLabel"));
    QCOMPARE(chrome.titleLabel->text(), QStringLiteral("ИЗБРАННЫЕ ПОРТЫ"));
    QCOMPARE(chrome.closeButton->objectName(), QStringLiteral("closeButton"));
    QCOMPARE(chrome.closeButton->toolTip(), QStringLiteral("Закрыть (Esc)"));
    QVERIFY(chrome.background->styleSheet().contains(QStringLiteral("QWidget#dialogBackground")));
    QVERIFY(chrome.titleBar->styleSheet().contains(QStringLiteral("QWidget#titleBar")));
    QVERIFY(chrome.closeButton->styleSheet().contains(QStringLiteral("SvgButton")));
    QCOMPARE(chrome.titleBar->height(), 45);
    QCOMPARE(dialog.titleBar(), chrome.titleBar);
    QCOMPARE(dialog.backgroundWidget(), chrome.animatedBackground);
    QCOMPARE(dialog.size(), QSize(400, 300));

    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));

    // Title bar, separator and content stack in that order; the close button is last.
    QCOMPARE(chrome.separator->height(), 1);
    QLayout *root = dialog.layout();
    QCOMPARE(root->indexOf(chrome.titleBar), 0);
    QCOMPARE(root->indexOf(chrome.separator), 1);
    QCOMPARE(root->indexOf(chrome.content), 2);
    QCOMPARE(chrome.titleLayout->indexOf(chrome.closeButton), chrome.titleLayout->count() - 1);
    QCOMPARE(chrome.contentLayout->contentsMargins(), QMargins(25, 20, 25, 25));
}

void TestDialogFramework::chromeCloseButton_data()
{
    QTest::addColumn<DialogChrome::CloseAction>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("rejects") << DialogChrome::CloseAction::Reject << int(QDialog::Rejected);
    QTest::newRow("accepts") << DialogChrome::CloseAction::Accept << int(QDialog::Accepted);
}

void TestDialogFramework::chromeCloseButton()
{
    QFETCH(DialogChrome::CloseAction, action);
    QFETCH(int, result);

    BaseMovableDialog dialog;
    DialogChrome::Options options = chromeOptions();
    options.closeAction = action;
    const DialogChrome chrome = DialogChrome::build(&dialog, options);
    dialog.setResult(-1);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(chrome.closeButton, Qt::LeftButton);
    QCOMPARE(dialog.result(), result);
    QVERIFY(!dialog.isVisible());
    // Pressing the close button must not have started a drag.
    QVERIFY(!dialog.isDragging());
}

void TestDialogFramework::chromeExtraButtonSitsLeftOfClose()
{
    BaseMovableDialog dialog;
    DialogChrome chrome = DialogChrome::build(&dialog, chromeOptions());
    SvgButton *help = chrome.addTitleButton(
        Icons::help(), QStringLiteral("Справка (Ctrl+H)"), QStringLiteral("helpButton"));
    QCOMPARE(dialog.findChild<SvgButton *>(QStringLiteral("helpButton")), help);
    QCOMPARE(chrome.titleLayout->indexOf(help) + 1, chrome.titleLayout->indexOf(chrome.closeButton));
    QCOMPARE(help->toolTip(), QStringLiteral("Справка (Ctrl+H)"));
}

void TestDialogFramework::chromeKeepsPanelAndBackgroundFitted()
{
    BaseMovableDialog dialog;
    DialogChrome::Options options = chromeOptions();
    options.fixedSize = QSize();
    const DialogChrome chrome = DialogChrome::build(&dialog, options);
    dialog.resize(500, 350);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.resize(640, 480);
    QTRY_COMPARE(dialog.size(), QSize(640, 480));

    QCOMPARE(chrome.animatedBackground->geometry(), QRect(0, 0, 640, 480));
    QCOMPARE(chrome.background->geometry(), QRect(0, 0, 640, 480));
    // Stacking from the bottom: animated background, panel, then the chrome.
    const QObjectList children = dialog.children();
    const auto widgetIndex = [&](QWidget *w) { return children.indexOf(w); };
    QVERIFY(widgetIndex(chrome.animatedBackground) < widgetIndex(chrome.background));
    QVERIFY(widgetIndex(chrome.background) < widgetIndex(chrome.titleBar));
    QVERIFY(dialog.mask().contains(QPoint(320, 240)));
    QVERIFY(!dialog.mask().contains(QPoint(639, 479)));
}

void TestDialogFramework::chromeCentresOnParent()
{
    QWidget parent;
    parent.setGeometry(300, 200, 800, 600);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));

    BaseMovableDialog dialog(&parent);
    DialogChrome::Options options = chromeOptions();
    options.center = true;
    DialogChrome::build(&dialog, options);
    QCOMPARE(dialog.frameGeometry().center(), parent.frameGeometry().center());
}

void TestDialogFramework::roundedMaskCutsCorners_data()
{
    QTest::addColumn<int>("radius");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("inside");
    for (int radius : {16, 20}) {
        QTest::addRow("r%d centre", radius) << radius << QPoint(150, 100) << true;
        QTest::addRow("r%d top-left corner", radius) << radius << QPoint(1, 1) << false;
        QTest::addRow("r%d bottom-right corner", radius) << radius << QPoint(298, 198) << false;
        QTest::addRow("r%d middle of top edge", radius) << radius << QPoint(150, 0) << true;
        QTest::addRow("r%d just past the curve", radius) << radius << QPoint(radius, 2) << true;
    }
    // Inside the radius-16 curve, outside the radius-20 one.
    QTest::newRow("r16 keeps (8,8)") << 16 << QPoint(8, 8) << true;
    QTest::newRow("r20 cuts (5,5)") << 20 << QPoint(5, 5) << false;
    QTest::newRow("r16 keeps (5,5)") << 16 << QPoint(5, 5) << true;
}

void TestDialogFramework::roundedMaskCutsCorners()
{
    QFETCH(int, radius);
    QFETCH(QPoint, point);
    QFETCH(bool, inside);
    QWidget window;
    window.resize(300, 200);
    applyRoundedMask(&window, radius);
    QCOMPARE(window.mask().contains(point), inside);
}

void TestDialogFramework::svgButtonPaintsOnlyAValidIcon_data()
{
    QTest::addColumn<QByteArray>("svg");
    QTest::addColumn<bool>("paints");
    QTest::newRow("close icon") << Icons::close() << true;
    QTest::newRow("not svg") << QByteArray("this is not an image") << false;
    QTest::newRow("broken xml") << QByteArray("<svg viewBox=\"0 0 24 24\"><line x1=") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestDialogFramework::svgButtonPaintsOnlyAValidIcon()
{
    QFETCH(QByteArray, svg);
    QFETCH(bool, paints);

    QWidget host;
    host.resize(60, 60);
    auto *button = new SvgButton(svg, &host);
    button->move(10, 10);
    QCOMPARE(button->size(), QSize(22, 22));
    QCOMPARE(button->objectName(), QStringLiteral("svgButton"));
    QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(button->hasValidSvg(), paints);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    // Render without the window background, so only what the button paints itself shows.
    QImage image(button->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QCOMPARE(allTransparent(image), !paints);
    if (paints) {
        // The icon stays inside the 4-pixel inset; no bevel around it.
        const QImage border = image.copy(0, 0, image.width(), 3);
        QVERIFY(allTransparent(border));
        QVERIFY(allTransparent(image.copy(0, 0, 3, image.height())));
    }
}

void TestDialogFramework::favouriteButtonExplainsAtOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("shownOnEnter");
    QTest::newRow("favourite") << QStringLiteral("favoriteButton") << QStringLiteral("Порт 9123: ХОРОШИЙ")
                               << true;
    QTest::newRow("favourite without text") << QStringLiteral("favoriteButton") << QString() << false;
    QTest::newRow("other button") << QStringLiteral("svgButton") << QStringLiteral("Закрыть") << false;
}

void TestDialogFramework::favouriteButtonExplainsAtOnce()
{
    QFETCH(QString, name);
    QFETCH(QString, toolTip);
    QFETCH(bool, shownOnEnter);

    QToolTip::hideText();
    QWidget host;
    host.resize(80, 80);
    auto *button = new SvgButton(Icons::star(), &host);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));

    const QPointF local(11, 11);
    QEnterEvent enter(local, button->mapTo(&host, local), button->mapToGlobal(local));
    QCoreApplication::sendEvent(button, &enter);
    QCOMPARE(QToolTip::isVisible(), shownOnEnter);
    if (shownOnEnter)
        QCOMPARE(QToolTip::text(), toolTip);
    QToolTip::hideText();
}

void TestDialogFramework::iconsAreValidFeatherSvg_data()
{
    QTest::addColumn<QByteArray>("svg");
    QTest::addColumn<QString>("stroke");
    QTest::addColumn<int>("size");

    QTest::newRow("close") << Icons::close() << QStringLiteral("#fca5a5") << 17;
    QTest::newRow("minimize") << Icons::minimize() << QStringLiteral("#94a3b8") << 17;
    QTest::newRow("settings") << Icons::settings() << QStringLiteral("#c084fc") << 17;
    QTest::newRow("firewall") << Icons::firewall() << QStringLiteral("#94a3b8") << 16;
    QTest::newRow("help") << Icons::help() << QStringLiteral("#60a5fa") << 17;
    QTest::newRow("settings 16 grey")
        << Icons::settingsColored(QColor(0x94, 0xa3, 0xb8), 16) << QStringLiteral("#94a3b8") << 16;
    QTest::newRow("shield 28 green") << Icons::shieldColored(QColor(0x22, 0xc5, 0x5e), 28)
                                     << QStringLiteral("#22c55e") << 28;
    const QColor grey(0x64, 0x74, 0x8b);
    const struct
    {
        const char *name;
        QByteArray (*make)(const QColor &, int);
    } plain[] = {
        {"menu", Icons::menu},
        {"image", Icons::image},
        {"camera", Icons::camera},
        {"lock", Icons::lock},
        {"clock", Icons::clock},
        {"globe", Icons::globe},
        {"eye", Icons::eye},
        {"eyeOff", Icons::eyeOff},
        {"share", Icons::share},
        {"send", Icons::send},
        {"logOut", Icons::logOut},
        {"plus", Icons::plus},
        {"list", Icons::list},
        {"mapPin", Icons::mapPin},
        {"check", Icons::check},
        {"alert", Icons::alertTriangle},
        {"trash", Icons::trash},
        {"copy", Icons::copy},
        {"download", Icons::download},
        {"upload", Icons::upload},
        {"refresh", Icons::refresh},
        {"message", Icons::message},
        {"search", Icons::search},
        {"user", Icons::user},
        {"edit", Icons::edit},
        {"info", Icons::info},
    };
    for (const auto &icon : plain)
        QTest::newRow(icon.name) << icon.make(grey, 20) << QStringLiteral("#64748b") << 20;
    QTest::newRow("star outline") << Icons::star(grey, false, 20) << QStringLiteral("#64748b") << 20;
    QTest::newRow("star filled") << Icons::star(grey, true, 20) << QStringLiteral("#64748b") << 20;
}

void TestDialogFramework::iconsAreValidFeatherSvg()
{
    QFETCH(QByteArray, svg);
    QFETCH(QString, stroke);
    QFETCH(int, size);

    QSvgRenderer renderer(svg);
    QVERIFY2(renderer.isValid(), svg.constData());
    QCOMPARE(renderer.viewBox(), QRect(0, 0, 24, 24));
    QCOMPARE(renderer.defaultSize(), QSize(size, size));
    const QString text = QString::fromUtf8(svg);
    QVERIFY(text.contains(QStringLiteral("stroke=\"%1\"").arg(stroke)));
    QVERIFY(text.contains(QStringLiteral("stroke-width=\"2\"")));
    QVERIFY(text.contains(QStringLiteral("stroke-linecap=\"round\"")));
    QVERIFY(text.contains(QStringLiteral("stroke-linejoin=\"round\"")));

    // Every icon leaves ink, and only in its own colour family.
    const QImage image = Icons::pixmap(svg, 48).toImage();
    QCOMPARE(image.size(), QSize(48, 48));
    QVERIFY(!allTransparent(image));
    const bool filled = QByteArray(QTest::currentDataTag()) == "star filled";
    QCOMPARE(svg.contains("fill=\"none\""), !filled);
    if (filled) {
        // The middle of a filled star is ink, of an outlined one it is empty.
        QVERIFY(qAlpha(image.pixel(24, 26)) > 200);
    } else if (QByteArray(QTest::currentDataTag()) == "star outline") {
        QCOMPARE(qAlpha(image.pixel(24, 26)), 0);
    }
}

QTEST_MAIN(TestDialogFramework)
#include "tst_dialogframework.moc"
