#include "widgets/explode_effect.h"
#include "widgets/widget_errors.h"

#include <QPaintEvent>
#include <QTest>
#include <QWidget>
#include <cmath>

namespace {

// The frames as the animation is described, written out on their own: the rectangle moves by
// a fixed double-precision step per frame and turns by i × 2π / n about its centre.
QList<QPolygon> framesByHand(TEdges s, TEdges f, int steps, bool implode)
{
    QList<QPolygon> out;
    const int n = steps == 0 ? 1 : steps;
    if (n < 0)
        return out;
    double cur[4];
    const double from[4] = {double(s.Left), double(s.Top), double(s.Right), double(s.Bottom)};
    const double to[4] = {double(f.Left), double(f.Top), double(f.Right), double(f.Bottom)};
    double step[4];
    for (int k = 0; k < 4; ++k) {
        step[k] = (to[k] - from[k]) / n;
        cur[k] = implode ? to[k] : from[k];
    }
    for (int i = 0; i <= n; ++i) {
        const long double a = i * (6.283185307179586477L / n);
        const long double w = ((long double)cur[2] - cur[0]) / 2, h = ((long double)cur[3] - cur[1]) / 2;
        const long double xs[4] = {-w, w, w, -w}, ys[4] = {h, h, -h, -h};
        QPolygon p;
        for (int k = 0; k < 4; ++k) {
            const long double x = xs[k] * cosl(a) - ys[k] * sinl(a);
            const long double y = xs[k] * sinl(a) + ys[k] * cosl(a);
            p << QPoint(int(truncl(x + cur[0] + ((long double)cur[2] - cur[0]) / 2)),
                        int(truncl(y + cur[1] + ((long double)cur[3] - cur[1]) / 2)));
        }
        out << p;
        for (int k = 0; k < 4; ++k)
            cur[k] += implode ? -step[k] : step[k];
    }
    return out;
}

QPolygon quad(QPoint a, QPoint b, QPoint c, QPoint d) { return QPolygon({a, b, c, d}); }

// True when every corner is within one pixel of the expected one (the last turn lands a hair's
// breadth either side of a whole pixel).
bool near(const QPolygon &got, const QPolygon &want)
{
    if (got.size() != want.size())
        return false;
    for (int k = 0; k < got.size(); ++k)
        if (qAbs(got[k].x() - want[k].x()) > 1 || qAbs(got[k].y() - want[k].y()) > 1)
            return false;
    return true;
}

// The corners of an unturned rectangle in the animation's order.
QPolygon unturned(TEdges e)
{
    return quad({e.Left, e.Bottom}, {e.Right, e.Bottom}, {e.Right, e.Top}, {e.Left, e.Top});
}

struct Call {
    bool polygon;
    QPolygon corners;
    TEdges rect;
};

class RecordingScreen : public ExplodeScreen
{
public:
    explicit RecordingScreen(QList<Call> *calls) : m_calls(calls) {}
    void Polygon(const QPolygon &corners) override { m_calls->append({true, corners, {}}); }
    void Rectangle(const TEdges &bounds) override { m_calls->append({false, {}, bounds}); }

private:
    QList<Call> *m_calls;
};

// A form whose own show, paint and hide handlers count their calls.
class Form : public QWidget
{
public:
    int shows = 0, paints = 0, hides = 0;

protected:
    void showEvent(QShowEvent *) override { ++shows; }
    void paintEvent(QPaintEvent *) override { ++paints; }
    void hideEvent(QHideEvent *) override { ++hides; }
};

// Counts the events that reach the form, ahead of the effect's own filter.
class EventCounter : public QObject
{
public:
    int shows = 0, paints = 0, hides = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        shows += e->type() == QEvent::Show;
        paints += e->type() == QEvent::Paint;
        hides += e->type() == QEvent::Hide;
        return false;
    }
};

struct Animated {
    Form form;
    TExplodeEffect *effect;
    QList<QList<Call>> animations;   // the calls of each animation, in order
    QList<QRect> outerBounds;        // the form's outer bounds as each animation began

    explicit Animated(TShowType type)
    {
        form.setGeometry(192, 107, 240, 218);
        effect = new TExplodeEffect(&form);
        effect->setSteps(4);
        effect->setShowType(type);
        effect->setScreenFactory([this](const QRect &, TExplodeType) {
            animations.append(QList<Call>());
            outerBounds.append(form.frameGeometry());
            return std::make_unique<RecordingScreen>(&animations.last());
        });
    }

    // An explode ends with the form's rectangle, an implode with the source rectangle.
    int count(bool explodes) const
    {
        int n = 0;
        for (const QList<Call> &calls : animations)
            n += (calls.last().rect == TEdges{}) != explodes;
        return n;
    }

    // Shown and painted, as a form is once the window system has exposed it.
    void showAndPaint()
    {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.repaint();
    }
};

} // namespace

class tst_TExplodeEffect : public QObject
{
    Q_OBJECT

private slots:
    void framesMatchTheirDescription_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<TEdges>("source");
        QTest::addColumn<TEdges>("target");
        QTest::addColumn<bool>("implode");
        const TEdges box{192, 107, 432, 325};
        QTest::newRow("a hundred steps from the screen's corner to the box") << 100 << TEdges{} << box << false;
        QTest::newRow("a hundred steps back from the box to the corner") << 100 << TEdges{} << box << true;
        QTest::newRow("four steps, a quarter turn each") << 4 << TEdges{10, 20, 30, 40} << box << false;
        QTest::newRow("a single step") << 1 << TEdges{10, 20, 30, 40} << box << false;
        QTest::newRow("no steps counts as one") << 0 << TEdges{10, 20, 30, 40} << box << true;
        QTest::newRow("a source whose right edge lies left of its left edge")
            << 7 << TEdges{100, 100, 50, 50} << TEdges{200, 200, 400, 300} << false;
        QTest::newRow("a target above and left of the source") << 13 << TEdges{900, 700, 950, 760} << box << false;
    }

    void framesMatchTheirDescription()
    {
        QFETCH(int, steps);
        QFETCH(TEdges, source);
        QFETCH(TEdges, target);
        QFETCH(bool, implode);
        const QList<QPolygon> frames = implode ? explode::ImplodeFrames(source, target, steps)
                                               : explode::ExplodeFrames(source, target, steps);
        QCOMPARE(frames, framesByHand(source, target, steps, implode));
        QCOMPARE(frames.size(), (steps == 0 ? 1 : steps) + 1);
        // From one rectangle unturned to the other after one full turn.
        QCOMPARE(frames.first(), unturned(implode ? target : source));
        QVERIFY(near(frames.last(), unturned(implode ? source : target)));
    }

    void noStepsIsTheSameAsOne()
    {
        const TEdges s{5, 6, 7, 8}, f{100, 100, 300, 200};
        QCOMPARE(explode::ExplodeFrames(s, f, 0), explode::ExplodeFrames(s, f, 1));
        QCOMPARE(explode::ImplodeFrames(s, f, 0), explode::ImplodeFrames(s, f, 1));
    }

    void negativeStepsGiveNoFrames()
    {
        QVERIFY(explode::ExplodeFrames({}, {0, 0, 100, 100}, -3).isEmpty());
        QList<Call> calls;
        RecordingScreen screen(&calls);
        TExplodeEffect::DrawExplode(screen, {}, {0, 0, 100, 100}, -3);
        QCOMPARE(calls.size(), 2);
        QVERIFY(!calls[0].polygon && !calls[1].polygon);
        QCOMPARE(calls[0].rect, (TEdges{0, 0, 100, 100}));
    }

    void quarterTurnsByHand()
    {
        // From a point at the origin to 400 × 200 in four steps.
        const QList<QPolygon> frames = explode::ExplodeFrames({}, {0, 0, 400, 200}, 4);
        QCOMPARE(frames[0], quad({0, 0}, {0, 0}, {0, 0}, {0, 0}));
        // 100 × 50 turned a quarter: the first corner (-50, 25) goes to (-25, -50).
        QVERIFY(near(frames[1], quad({25, -25}, {25, 75}, {75, 75}, {75, -25})));
        // 200 × 100 turned half: each corner goes to the opposite one.
        QVERIFY(near(frames[2], quad({200, 0}, {0, 0}, {0, 100}, {200, 100})));
    }

    void reversedSourceIsDrawnAllTheSame()
    {
        const QList<QPolygon> frames = explode::ExplodeFrames({100, 100, 50, 50}, {200, 200, 400, 300}, 7);
        QCOMPARE(frames.first(), quad({100, 50}, {50, 50}, {50, 100}, {100, 100}));
    }

    void drawingDoublesEveryFigure_data()
    {
        QTest::addColumn<bool>("implode");
        QTest::newRow("an explode ends with the form's rectangle") << false;
        QTest::newRow("an implode ends with the source rectangle") << true;
    }

    void drawingDoublesEveryFigure()
    {
        QFETCH(bool, implode);
        const TEdges s{0, 0, 0, 0}, f{192, 107, 432, 325};
        QList<Call> calls;
        RecordingScreen screen(&calls);
        if (implode)
            TExplodeEffect::DrawImplode(screen, s, f, 100);
        else
            TExplodeEffect::DrawExplode(screen, s, f, 100);
        QCOMPARE(calls.size(), 2 * 101 + 2);
        const QList<QPolygon> frames = implode ? explode::ImplodeFrames(s, f, 100) : explode::ExplodeFrames(s, f, 100);
        for (int i = 0; i < 101; ++i) {
            QCOMPARE(calls[2 * i].corners, frames[i]);
            QCOMPARE(calls[2 * i + 1].corners, frames[i]);
        }
        QCOMPARE(calls[202].rect, implode ? s : f);
        QCOMPARE(calls[203].rect, implode ? s : f);
    }

    void ownerMustBeAForm()
    {
        QObject plain;
        QWidget window;
        auto *child = new QWidget(&window);
        for (QObject *owner : {static_cast<QObject *>(nullptr), &plain, static_cast<QObject *>(child)}) {
            try {
                TExplodeEffect effect(owner);
                QFAIL("no error");
            } catch (const EInvalidCast &e) {
                QCOMPARE(e.message(), QStringLiteral("Invalid class typecast"));
            }
        }
        QVERIFY(plain.children().isEmpty());
        QCOMPARE(child->children().size(), 0);
    }

    void showPaintHideShowAnimatesEachTime_data()
    {
        QTest::addColumn<TShowType>("type");
        QTest::addColumn<int>("explodes");
        QTest::addColumn<int>("implodes");
        QTest::newRow("on show only, two showings explode twice") << TShowType::stShow << 2 << 0;
        QTest::newRow("always, the hide in between implodes") << TShowType::stAlways << 2 << 1;
        QTest::newRow("on hide only, only the hide implodes") << TShowType::stHide << 0 << 1;
    }

    void showPaintHideShowAnimatesEachTime()
    {
        QFETCH(TShowType, type);
        QFETCH(int, explodes);
        QFETCH(int, implodes);
        Animated a(type);
        a.showAndPaint();
        a.form.hide();
        a.form.show();
        QCOMPARE(a.count(true), explodes);
        QCOMPARE(a.count(false), implodes);
        QCOMPARE(a.form.hides, 1);
    }

    void hidingBeforeAPaintPlaysNothingUntilItPaints()
    {
        Animated a(TShowType::stAlways);
        a.form.show();
        QVERIFY(!a.effect->Armed());
        a.form.hide();            // not painted since the explode: no implode
        QVERIFY(a.effect->Armed());
        a.form.show();            // the show hook is still spent: no explode
        QCOMPARE(a.count(true), 1);
        QCOMPARE(a.count(false), 0);
        QVERIFY(QTest::qWaitForWindowExposed(&a.form));
        QVERIFY(a.effect->Armed());
        a.form.hide();
        a.form.show();
        QCOMPARE(a.count(true), 2);
        QCOMPARE(a.count(false), 1);
    }

    void formHandlersRunOncePerEvent()
    {
        Animated a(TShowType::stAlways);
        EventCounter seen;
        a.form.installEventFilter(&seen);
        for (int round = 0; round < 3; ++round) {
            a.showAndPaint();
            a.form.repaint();
            a.form.hide();
            a.form.show();
            a.form.hide();
        }
        QVERIFY(seen.shows == 6 && seen.hides == 6 && seen.paints >= 6);
        // Each round implodes once; the second showing of a round explodes (a paint renewed the
        // show hook before the hide), and so does the first showing of the first round only.
        QCOMPARE(a.count(true), 4);
        QCOMPARE(a.count(false), 3);
        QCOMPARE(a.form.shows, seen.shows);
        QCOMPARE(a.form.paints, seen.paints);
        QCOMPARE(a.form.hides, seen.hides);
    }

    void animationEndsAtTheFormAndStartsAtTheSourceControl()
    {
        Animated a(TShowType::stShow);
        auto *control = new QWidget(&a.form);
        control->setGeometry(10, 20, 30, 40);
        a.effect->setSourceControl(control);
        const QPoint at = control->mapToGlobal(QPoint(0, 0));
        a.showAndPaint();
        const QRect outer = a.outerBounds[0];
        QCOMPARE(outer.size(), a.form.frameGeometry().size());
        QCOMPARE(a.animations.size(), 1);
        QCOMPARE(a.animations[0].first().corners, unturned({at.x(), at.y(), at.x() + 30, at.y() + 40}));
        QCOMPARE(a.animations[0].last().rect, (TEdges{outer.left(), outer.top(), outer.left() + outer.width(),
                                                       outer.top() + outer.height()}));

        // A destroyed source control is no longer used.
        delete control;
        a.form.hide();
        a.effect->setSourceLeft(5);
        a.effect->setSourceTop(6);
        a.effect->setSourceWidth(7);
        a.effect->setSourceHeight(8);
        a.form.show();
        QCOMPARE(a.animations.size(), 2);
        QCOMPARE(a.animations[1].first().corners, unturned({5, 6, 7, 8}));
    }

    void offscreenDrawsNothingButKeepsTheStates()
    {
        QVERIFY(!TExplodeEffect::overlaySupported());
        Form form;
        TExplodeEffect effect(&form);
        form.show();
        QVERIFY(!effect.Armed());
        QCOMPARE(form.shows, 1);
    }
};

QTEST_MAIN(tst_TExplodeEffect)
#include "explode_effect_test.moc"
