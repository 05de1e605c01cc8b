#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QPolygon>
#include <QRect>
#include <functional>
#include <memory>

class QWidget;

// When a form animates: stAlways on show and hide, stShow on show only, stHide on hide only.
enum class TShowType : quint8 { stAlways = 0, stShow = 1, stHide = 2 };
// etFilled frames are filled light grey, etHollow frames are outlines only.
enum class TExplodeType : quint8 { etFilled = 0, etHollow = 1 };

// A rectangle by its edges in screen coordinates. Right and Bottom are coordinates, not sizes,
// and may lie left of or above Left and Top.
struct TEdges {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TEdges &, const TEdges &) = default;
};

// A surface that draws with an inverting mix: drawing the same figure twice leaves it as it was.
class ExplodeScreen
{
public:
    virtual ~ExplodeScreen() = default;
    // A closed quadrilateral through the four points, with the animation's pen and brush.
    virtual void Polygon(const QPolygon &corners) = 0;
    // The axis-aligned rectangle from (Left, Top) to (Right - 1, Bottom - 1).
    virtual void Rectangle(const TEdges &bounds) = 0;
};

// The frame geometry of the animation, independent of any drawing.
//
// With n = steps (0 counts as 1), the frames are i = 0 … n (n + 1 of them; none when n is
// negative). The current rectangle (L, T, R, B) is kept in double precision; the explode starts
// at source and adds (target - source) / n per frame, the implode starts at target and subtracts
// the same. Frame i is the current rectangle turned about its centre by i × 2π / n, corners in
// the order (-hw, +hh), (+hw, +hh), (+hw, -hh), (-hw, -hh) relative to the centre, where
// hw = (R - L) / 2 and hh = (B - T) / 2; each turned corner (x', y') lands at
// trunc(x' + L + hw), trunc(y' + T + hh), cut toward zero. The turn uses extended precision.
namespace explode {

QList<QPolygon> ExplodeFrames(const TEdges &source, const TEdges &target, int steps);
QList<QPolygon> ImplodeFrames(const TEdges &source, const TEdges &target, int steps);

} // namespace explode

// Animates its owner form's appearance and disappearance: on showing, a turning rectangle grows
// from the source rectangle to the form's outer bounds; on hiding, it shrinks back.
//
// It works by taking over the form's show, paint and hide events (non-spontaneous show and hide
// only) and running the form's own handlers for them from there, exactly once per event:
//   show:  unless the show hook is spent: animate when ShowType allows and Armed, then disarm and
//          spend the show hook; the form's own handler; then pending events are processed.
//   paint: arm; the form's own handler; both hooks are renewed.
//   hide:  unless the hide hook is spent: animate when ShowType allows and Armed, then disarm,
//          process pending events and spend the hide hook; the form's own handler; process
//          pending events; arm.
// A spent hook only runs the form's own handler. So a form shown, painted, hidden and shown
// again animates each time, while a form hidden before it has painted since its last explode
// plays no implode, and its next showing no explode until it has painted again.
//
// Frames are drawn on an overlay window that lets clicks through and exists only while the
// animation runs, where the platform can place one on the screen (X11); elsewhere (Wayland,
// offscreen) nothing is drawn and only the states above change.
class TExplodeEffect : public QObject
{
    Q_OBJECT

public:
    // The owner must be a form (a window widget); anything else throws EInvalidCast
    // "Invalid class typecast". Steps 40, stAlways, etFilled, source rectangle 0, 0, 0, 0, armed.
    explicit TExplodeEffect(QObject *owner);

    void setSteps(int steps) { m_steps = steps; }
    int Steps() const { return m_steps; }

    // When set (and alive), the source rectangle is this control's rectangle on the screen.
    void setSourceControl(QWidget *control) { m_sourceControl = control; }
    QWidget *SourceControl() const { return m_sourceControl.data(); }

    void setShowType(TShowType type) { m_showType = type; }
    TShowType ShowType() const { return m_showType; }

    // The source rectangle as left, top, right (SourceWidth) and bottom (SourceHeight).
    void setSourceLeft(int v) { m_sourceLeft = v; }
    int SourceLeft() const { return m_sourceLeft; }
    void setSourceTop(int v) { m_sourceTop = v; }
    int SourceTop() const { return m_sourceTop; }
    void setSourceWidth(int v) { m_sourceWidth = v; }
    int SourceWidth() const { return m_sourceWidth; }
    void setSourceHeight(int v) { m_sourceHeight = v; }
    int SourceHeight() const { return m_sourceHeight; }

    void setExplodeType(TExplodeType type) { m_explodeType = type; }
    TExplodeType ExplodeType() const { return m_explodeType; }

    bool Armed() const { return m_armed; }

    // Draws every frame of ExplodeFrames / ImplodeFrames twice in a row, then the closing
    // rectangle (the target for the explode, the source for the implode) twice.
    static void DrawExplode(ExplodeScreen &screen, const TEdges &source, const TEdges &target, int steps);
    static void DrawImplode(ExplodeScreen &screen, const TEdges &source, const TEdges &target, int steps);

    // Makes the screen for one animation, given the screen area all its figures lie in, or
    // returns null to draw nothing. The default makes the overlay where the platform can show it.
    using ScreenFactory = std::function<std::unique_ptr<ExplodeScreen>(const QRect &area, TExplodeType type)>;
    void setScreenFactory(ScreenFactory factory) { m_screenFactory = std::move(factory); }

    // Whether the default screen can be shown on this platform.
    static bool overlaySupported();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShowHook(QEvent *event);
    void FormPaintHook(QEvent *event);
    void FormHideHook(QEvent *event);
    void runFormHandler(QEvent *event);
    void animate(bool explode);
    TEdges sourceEdges() const;
    TEdges formEdges() const;

    int m_steps = 40;
    QPointer<QWidget> m_sourceControl;
    TShowType m_showType = TShowType::stAlways;
    int m_sourceLeft = 0;
    int m_sourceTop = 0;
    int m_sourceWidth = 0;
    int m_sourceHeight = 0;
    TExplodeType m_explodeType = TExplodeType::etFilled;
    QWidget *m_form;
    bool m_showSpent = false;
    bool m_hideSpent = false;
    bool m_armed = true;
    ScreenFactory m_screenFactory;
};
