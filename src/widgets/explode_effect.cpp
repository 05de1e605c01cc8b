#include "widgets/explode_effect.h"

#include "widgets/widget_errors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace explode {
namespace {

// 2π as the animation has always turned by it, in extended precision.
constexpr long double kTwoPi = 6.283185307179586477L;

// A truncated coordinate, kept inside int's range whatever the properties hold.
int toCoordinate(long double v)
{
    const long double t = truncl(v);
    return int(std::clamp(t, (long double)std::numeric_limits<int>::min(),
                          (long double)std::numeric_limits<int>::max()));
}

// Calls frame(polygon) for every frame from start, moving by ±(target - source) / n per frame.
template <typename Frame>
void forEachFrame(const TEdges &source, const TEdges &target, int steps, bool implode, Frame frame)
{
    const qint64 n = steps == 0 ? 1 : steps;
    const double dl = double(target.Left - source.Left) / double(n);
    const double dt = double(target.Top - source.Top) / double(n);
    const double dr = double(target.Right - source.Right) / double(n);
    const double db = double(target.Bottom - source.Bottom) / double(n);
    const double sign = implode ? -1.0 : 1.0;
    const TEdges &start = implode ? target : source;
    double l = start.Left, t = start.Top, r = start.Right, b = start.Bottom;
    const long double angleStep = kTwoPi / n;

    for (qint64 i = 0; i <= n; ++i) {
        const long double hw = ((long double)r - l) / 2;
        const long double hh = ((long double)b - t) / 2;
        const long double a = i * angleStep;
        const long double c = cosl(a);
        const long double s = sinl(a);
        const long double corners[4][2] = {{-hw, hh}, {hw, hh}, {hw, -hh}, {-hw, -hh}};
        QPolygon polygon(4);
        for (int k = 0; k < 4; ++k) {
            const long double x = corners[k][0] * c - corners[k][1] * s;
            const long double y = corners[k][0] * s + corners[k][1] * c;
            polygon.setPoint(k, toCoordinate((x + l) + ((long double)r - l) / 2),
                             toCoordinate((y + t) + ((long double)b - t) / 2));
        }
        frame(polygon);
        l += sign * dl;
        t += sign * dt;
        r += sign * dr;
        b += sign * db;
    }
}

QList<QPolygon> collect(const TEdges &source, const TEdges &target, int steps, bool implode)
{
    QList<QPolygon> frames;
    forEachFrame(source, target, steps, implode, [&](const QPolygon &p) { frames.append(p); });
    return frames;
}

QRect rectOf(const TEdges &e)
{
    return QRect(QPoint(e.Left, e.Top), QPoint(e.Right - 1, e.Bottom - 1)).normalized();
}

// The screen area that every figure of one animation lies in.
QRect areaOf(const TEdges &source, const TEdges &target, int steps, bool implode)
{
    QRect area = rectOf(implode ? source : target);
    forEachFrame(source, target, steps, implode,
                 [&](const QPolygon &p) { area |= p.boundingRect(); });
    return area.adjusted(-2, -2, 2, 2);
}

void drawAll(ExplodeScreen &screen, const TEdges &source, const TEdges &target, int steps, bool implode)
{
    forEachFrame(source, target, steps, implode, [&](const QPolygon &p) {
        screen.Polygon(p);
        screen.Polygon(p);
    });
    const TEdges &closing = implode ? source : target;
    screen.Rectangle(closing);
    screen.Rectangle(closing);
}

// A top-level window over the animation's area that shows the figures drawn on it and lets
// every click through. Drawing a figure that is shown takes it away again, as the inverting mix
// would; the window keeps showing it until the next figure comes, so that each frame is seen.
class OverlayScreen : public ExplodeScreen
{
public:
    OverlayScreen(const QRect &area, TExplodeType type)
        : m_window(area, type)
    {
        m_window.show();
        // The figures are only seen once the window system has mapped the window: wait a short
        // while for that (window system and posted events only, no user input).
        QElapsedTimer waited;
        waited.start();
        while (m_window.windowHandle() && !m_window.windowHandle()->isExposed()
               && waited.elapsed() < kExposeWaitMs)
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    }

    void Polygon(const QPolygon &corners) override { toggle(corners); }

    void Rectangle(const TEdges &bounds) override
    {
        const QRect r = rectOf(bounds);
        toggle(QPolygon({r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()}));
    }

private:
    static constexpr qint64 kExposeWaitMs = 300;

    class Window : public QWidget
    {
    public:
        Window(const QRect &area, TExplodeType type)
            : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                                   | Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput
                                   | Qt::WindowDoesNotAcceptFocus)
            , m_filled(type == TExplodeType::etFilled)
        {
            setAttribute(Qt::WA_TranslucentBackground);
            setAttribute(Qt::WA_ShowWithoutActivating);
            setAttribute(Qt::WA_TransparentForMouseEvents);
            setGeometry(area);
        }

        void showFigure(const QPolygon &screenCorners)
        {
            m_figure = screenCorners.translated(-geometry().topLeft());
            // Shaped to the figure, so that a desktop without compositing shows only the lines.
            setMask(regionOf(m_figure));
            repaint();
        }

    protected:
        void paintEvent(QPaintEvent *) override
        {
            QPainter painter(this);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(rect(), Qt::transparent);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.setPen(QPen(Qt::black, 0));
            painter.setBrush(m_filled ? QBrush(QColor(192, 192, 192)) : QBrush(Qt::NoBrush));
            painter.drawPolygon(m_figure);
        }

    private:
        QRegion regionOf(const QPolygon &p) const
        {
            QRegion region = m_filled ? QRegion(p) : QRegion();
            for (int k = 0; k < p.size(); ++k) {
                const QPointF a = p.at(k), b = p.at((k + 1) % p.size());
                const QPointF d = b - a;
                const double len = std::hypot(d.x(), d.y());
                const QPointF n = len > 0 ? QPointF(-d.y(), d.x()) * (1.5 / len) : QPointF(1.5, 1.5);
                const QPolygonF band({a + n, b + n, b - n, a - n});
                region |= QRegion(band.toPolygon()) | QRect(a.toPoint() - QPoint(1, 1), QSize(3, 3));
            }
            return region;
        }

        QPolygon m_figure;
        bool m_filled;
    };

    void toggle(const QPolygon &figure)
    {
        if (m_shown && *m_shown == figure) {
            m_shown.reset();
            return;
        }
        m_shown = figure;
        m_window.showFigure(figure);
    }

    Window m_window;
    std::optional<QPolygon> m_shown;
};

} // namespace

QList<QPolygon> ExplodeFrames(const TEdges &source, const TEdges &target, int steps)
{
    return collect(source, target, steps, false);
}

QList<QPolygon> ImplodeFrames(const TEdges &source, const TEdges &target, int steps)
{
    return collect(source, target, steps, true);
}

} // namespace explode

namespace {

QObject *requireForm(QObject *owner)
{
    const auto *widget = qobject_cast<QWidget *>(owner);
    if (!widget || !widget->isWindow())
        throw EInvalidCast(QString(widget_messages::kInvalidCast));
    return owner;
}

} // namespace

TExplodeEffect::TExplodeEffect(QObject *owner)
    : QObject(requireForm(owner))
    , m_form(static_cast<QWidget *>(owner))
{
    m_form->installEventFilter(this);
}

bool TExplodeEffect::overlaySupported()
{
    // Only a window system that lets a program place a window anywhere on the screen.
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform == QLatin1String("windows")
           || platform == QLatin1String("cocoa");
}

void TExplodeEffect::DrawExplode(ExplodeScreen &screen, const TEdges &source, const TEdges &target, int steps)
{
    explode::drawAll(screen, source, target, steps, false);
}

void TExplodeEffect::DrawImplode(ExplodeScreen &screen, const TEdges &source, const TEdges &target, int steps)
{
    explode::drawAll(screen, source, target, steps, true);
}

bool TExplodeEffect::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_form)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        if (event->spontaneous())
            return false;
        FormShowHook(event);
        return true;
    case QEvent::Paint:
        FormPaintHook(event);
        return true;
    case QEvent::Hide:
        if (event->spontaneous())
            return false;
        FormHideHook(event);
        return true;
    default:
        return false;
    }
}

void TExplodeEffect::runFormHandler(QEvent *event)
{
    // The form's own handling of the event, once; the filter then stops Qt from delivering it
    // a second time.
    static_cast<QObject *>(m_form)->event(event);
}

void TExplodeEffect::FormShowHook(QEvent *event)
{
    if (m_showSpent) {
        runFormHandler(event);
        return;
    }
    if ((m_showType == TShowType::stAlways || m_showType == TShowType::stShow) && m_armed) {
        // Spent and disarmed before anything else can run, so that a nested show plays nothing.
        m_armed = false;
        m_showSpent = true;
        animate(true);
    }
    runFormHandler(event);
    QCoreApplication::processEvents();
}

void TExplodeEffect::FormPaintHook(QEvent *event)
{
    m_armed = true;
    runFormHandler(event);
    // Pending events are not processed here: Qt does not allow painting to be re-entered.
    m_showSpent = false;
    m_hideSpent = false;
}

void TExplodeEffect::FormHideHook(QEvent *event)
{
    if (m_hideSpent) {
        runFormHandler(event);
        return;
    }
    if ((m_showType == TShowType::stAlways || m_showType == TShowType::stHide) && m_armed) {
        m_armed = false;
        m_hideSpent = true;
        animate(false);
        QCoreApplication::processEvents();
    }
    runFormHandler(event);
    QCoreApplication::processEvents();
    m_armed = true;
}

void TExplodeEffect::animate(bool explode)
{
    const TEdges source = sourceEdges();
    const TEdges target = formEdges();
    const QRect area = explode::areaOf(source, target, m_steps, !explode);
    std::unique_ptr<ExplodeScreen> screen;
    if (m_screenFactory)
        screen = m_screenFactory(area, m_explodeType);
    else if (overlaySupported())
        screen = std::make_unique<explode::OverlayScreen>(area, m_explodeType);
    if (!screen)
        return;
    if (explode)
        DrawExplode(*screen, source, target, m_steps);
    else
        DrawImplode(*screen, source, target, m_steps);
}

TEdges TExplodeEffect::sourceEdges() const
{
    if (const QWidget *control = m_sourceControl.data()) {
        const QPoint topLeft = control->mapToGlobal(QPoint(0, 0));
        return {topLeft.x(), topLeft.y(), topLeft.x() + control->width(), topLeft.y() + control->height()};
    }
    return {m_sourceLeft, m_sourceTop, m_sourceWidth, m_sourceHeight};
}

TEdges TExplodeEffect::formEdges() const
{
    const QRect outer = m_form->frameGeometry();
    return {outer.x(), outer.y(), outer.x() + outer.width(), outer.y() + outer.height()};
}
