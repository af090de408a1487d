#include "monitor/pinggraphwindow.h"

#include "core/settingskeys.h"
#include "monitor/pinggraphview.h"
#include "monitor/pingquality.h"
#include "monitor/pingtimeline.h"
#include "ui/animatedbackground.h"
#include "ui/cachedlabel.h"
#include "ui/dialogchrome.h"
#include "ui/styles.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

namespace {

// A still backdrop: an animated one repaints the whole window thirty times a second, which
// alone would cost more than the graph may (the window stays open for hours). The plot fills
// its place with the same colour, so nothing beneath it is drawn again each second.
constexpr char kBackground[]
    = "QWidget#dialogBackground { background-color:rgba(15,23,42,238); border-radius:16px;"
      " border:1px solid rgba(59,130,246,100); }";

constexpr char kSpanButton[]
    = "QPushButton { background:rgba(30,41,59,180); border:1px solid rgba(51,65,85,150); color:#94a3b8;"
      " font-size:12px; font-weight:600; padding:5px 12px; border-radius:8px; }"
      " QPushButton:hover { color:#e2e8f0; border-color:rgba(59,130,246,140); }"
      " QPushButton:checked { background:rgba(59,130,246,150); border-color:#3b82f6; color:#ffffff; }";

constexpr char kFiguresBox[] = "QWidget#graphFigures { background:rgba(30,41,59,180); border:1px solid "
                               "rgba(51,65,85,150); border-radius:10px; }";
constexpr char kFigureTitle[] = "color:#94a3b8; font-size:10px; font-weight:600; background:transparent;";
constexpr char kFigureValue[] = "color:%1; font-size:16px; font-weight:bold; background:transparent;"
                                " font-family:Consolas,'DejaVu Sans Mono',monospace;";

const char *const kFigureNames[] = {"graphFigureCurrent", "graphFigureMinimum", "graphFigureMedian",
    "graphFigureP95", "graphFigureMaximum", "graphFigureJitter", "graphFigureLoss"};
const char *const kFigureTitles[] = {"СЕЙЧАС", "МИНИМУМ", "МЕДИАНА", "P95", "МАКСИМУМ", "ДЖИТТЕР", "ПОТЕРИ"};

QString milliseconds(int value)
{
    return value < 0 ? QStringLiteral("—") : QStringLiteral("%1 мс").arg(value);
}

void setValue(
    CachedLabel *label, const QString &text, const QString &color = QLatin1String(Styles::kTextMain))
{
    label->setText(text);
    const QString style = QString::fromLatin1(kFigureValue).arg(color);
    if (label->styleSheet() != style)
        label->setStyleSheet(style);
}

bool isSpan(int minutes)
{
    return std::find(
               std::begin(PingGraphWindow::kSpanMinutes), std::end(PingGraphWindow::kSpanMinutes), minutes)
        != std::end(PingGraphWindow::kSpanMinutes);
}

} // namespace

QByteArray PingGraphWindow::iconSvg(const QColor &color, int size)
{
    const QByteArray side = QByteArray::number(size);
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + side + "\" height=\"" + side
        + "\" viewBox=\"0 0 24 24\" fill=\"none\" stroke=\"" + color.name().toLatin1()
        + "\" stroke-width=\"2\" stroke-linecap=\"round\" stroke-linejoin=\"round\">"
          "<polyline points=\"22 12 18 12 15 21 9 3 6 12 2 12\"/></svg>";
}

PingGraphWindow::PingGraphWindow(PingTimeline *timeline, QWidget *parent)
    : BaseMovableDialog(parent), m_timeline(timeline)
{
    QSettings settings = openSettings();
    DialogChrome::Options options;
    options.title = QStringLiteral("График пинга");
    options.fixedSize = QSize(780, 500);
    options.stayOnTop
        = settings.value(QLatin1String(SettingsKeys::kAlwaysOnTop), SettingsKeys::kDefaultAlwaysOnTop)
              .toBool();
    options.backgroundStyle = QLatin1String(kBackground);
    options.contentMargins = QMargins(20, 14, 20, 18);
    options.contentSpacing = 12;
    DialogChrome chrome = DialogChrome::build(this, options);
    chrome.animatedBackground->hide(); // its timers stop with it
    setModal(false);

    m_view = new PingGraphView(timeline, QColor(15, 23, 42, 238), chrome.content);
    chrome.contentLayout->addWidget(buildHeader());
    chrome.contentLayout->addWidget(m_view, 1);
    chrome.contentLayout->addWidget(buildFigures());

    setSpanMinutes(
        settings.value(QLatin1String(SettingsKeys::kPingGraphSpan), SettingsKeys::kDefaultPingGraphSpan)
            .toInt());

    // Where the player left it, as long as its title bar is still on a screen.
    const QPoint saved = settings.value(QLatin1String(SettingsKeys::kPingGraphPos)).toPoint();
    if (settings.contains(QLatin1String(SettingsKeys::kPingGraphPos))
        && QGuiApplication::screenAt(saved + QPoint(width() / 2, 20)))
        move(saved);

    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &PingGraphWindow::refresh);
    connect(timeline, &PingTimeline::changed, this, &PingGraphWindow::onTimelineChanged);
    refresh();
}

QWidget *PingGraphWindow::buildHeader()
{
    auto *header = new QWidget(this);
    header->setStyleSheet(QLatin1String(Styles::kTransparent));
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_stateLabel = new CachedLabel(QString(), header);
    m_stateLabel->setObjectName(QStringLiteral("graphStateLabel"));
    m_stateLabel->setStyleSheet(QStringLiteral("color:#60a5fa; font-size:13px; font-weight:600;"));
    row->addWidget(m_stateLabel, 1);
    m_countLabel = new CachedLabel(QString(), header);
    m_countLabel->setObjectName(QStringLiteral("graphCountLabel"));
    m_countLabel->setStyleSheet(QStringLiteral("color:#94a3b8; font-size:11px;"));
    row->addWidget(m_countLabel);
    row->addSpacing(10);

    m_spanButtons = new QButtonGroup(this);
    for (int minutes : kSpanMinutes) {
        auto *button = new QPushButton(QStringLiteral("%1 мин").arg(minutes), header);
        button->setObjectName(QStringLiteral("graphSpan%1").arg(minutes));
        button->setCheckable(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet(QLatin1String(kSpanButton));
        button->setToolTip(QStringLiteral("Последние %1 мин").arg(minutes));
        m_spanButtons->addButton(button, minutes);
        row->addWidget(button);
    }
    connect(m_spanButtons, &QButtonGroup::idClicked, this, [this](int minutes) {
        setSpanMinutes(minutes);
        QSettings settings = openSettings();
        settings.setValue(QLatin1String(SettingsKeys::kPingGraphSpan), minutes);
        settings.sync();
    });
    return header;
}

QWidget *PingGraphWindow::buildFigures()
{
    auto *box = new QWidget(this);
    box->setObjectName(QStringLiteral("graphFigures"));
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(QLatin1String(kFiguresBox));
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(14, 10, 14, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    for (int i = 0; i < int(std::size(kFigureNames)); ++i) {
        auto *title = new CachedLabel(QString::fromUtf8(kFigureTitles[i]), box);
        title->setStyleSheet(QLatin1String(kFigureTitle));
        title->setAlignment(Qt::AlignCenter);
        grid->addWidget(title, 0, i);
        auto *value = new CachedLabel(QStringLiteral("—"), box);
        value->setObjectName(QLatin1String(kFigureNames[i]));
        value->setAlignment(Qt::AlignCenter);
        value->setMinimumWidth(86); // wide enough for "нет ответа": no relayout as values change
        setValue(value, QStringLiteral("—"));
        grid->addWidget(value, 1, i);
        m_figures.append(value);
    }
    box->setToolTip(QStringLiteral("За показанный отрезок. Джиттер: среднее изменение пинга между соседними "
                                   "ответами. Потери: доля замеров без ответа."));
    return box;
}

void PingGraphWindow::setSpanMinutes(int minutes)
{
    m_spanMinutes = isSpan(minutes) ? minutes : SettingsKeys::kDefaultPingGraphSpan;
    if (QAbstractButton *button = m_spanButtons->button(m_spanMinutes))
        button->setChecked(true);
    m_view->setSpanMs(qint64(m_spanMinutes) * 60 * 1000);
    refresh();
}

void PingGraphWindow::onTimelineChanged()
{
    if (!isVisible())
        return; // drawn afresh when shown
    refresh();
    m_tick.start(); // the next tick only after a second without pings
}

void PingGraphWindow::refresh()
{
    const qint64 from = PingTimeline::now() - qint64(m_spanMinutes) * 60 * 1000;
    if (!m_timeline->isGameRunning())
        m_stateLabel->setText(QStringLiteral("Игра не запущена"));
    else if (m_timeline->server().isEmpty())
        m_stateLabel->setText(QStringLiteral("Игра запущена, соединение не найдено"));
    else
        m_stateLabel->setText(QStringLiteral("🌐 Сервер %1").arg(m_timeline->server()));

    const PingTimeline::Figures figures = m_timeline->figuresFrom(from);
    const PingStatistics &stats = figures.stats;
    m_countLabel->setText(stats.count() ? QStringLiteral("замеров: %1").arg(stats.count()) : QString());

    const QLocale locale(QLocale::Russian);
    if (figures.current < 0)
        setValue(m_figures[0], QStringLiteral("—"));
    else if (figures.current >= PingTimeline::kLost)
        setValue(m_figures[0], QStringLiteral("нет ответа"), QLatin1String(Styles::kStatusRed));
    else
        setValue(m_figures[0], milliseconds(figures.current), PingQuality::color(figures.current));
    setValue(m_figures[1], milliseconds(stats.minimum()));
    setValue(m_figures[2], milliseconds(stats.median()));
    setValue(m_figures[3], milliseconds(stats.p95()));
    setValue(m_figures[4], milliseconds(stats.maximum()));
    setValue(m_figures[5],
        stats.answered() > 1 ? locale.toString(stats.jitter(), 'f', 1) + QStringLiteral(" мс")
                             : QStringLiteral("—"));
    if (!stats.count())
        setValue(m_figures[6], QStringLiteral("—"));
    else
        setValue(m_figures[6], locale.toString(stats.lossPercent(), 'f', 1) + QStringLiteral(" %"),
            QLatin1String(stats.lost() ? Styles::kStatusRed : Styles::kTextMain));
    m_view->update();
}

void PingGraphWindow::showEvent(QShowEvent *event)
{
    BaseMovableDialog::showEvent(event);
    refresh();
    m_tick.start();
}

void PingGraphWindow::hideEvent(QHideEvent *event)
{
    m_tick.stop();
    savePosition();
    BaseMovableDialog::hideEvent(event);
}

void PingGraphWindow::mouseReleaseEvent(QMouseEvent *event)
{
    const bool dragged = isDragging();
    BaseMovableDialog::mouseReleaseEvent(event);
    if (dragged && !isDragging())
        savePosition();
}

void PingGraphWindow::savePosition()
{
    QSettings settings = openSettings();
    settings.setValue(QLatin1String(SettingsKeys::kPingGraphPos), pos());
    settings.sync();
}
