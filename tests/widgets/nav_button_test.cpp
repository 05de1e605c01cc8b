#include "widgets/nav_button.h"

#include <QBitmap>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

namespace {

const QColor kBackdrop(255, 0, 255);   // the parent's background
const QColor kFace(200, 200, 0);
const QColor kButtonText(0, 128, 0);
const QColor kCaption(0, 0, 255);
const QColor kLight(255, 255, 255);
const QColor kDark(128, 128, 128);

enum class Edge { None, Raised, Sunken };

// A button on a parent with a plain backdrop, so that what the button leaves alone is visible.
struct Scene {
    QWidget parent;
    TNavButton *button;

    explicit Scene(QSize size = {77, 65})
    {
        QPalette p;
        p.setColor(QPalette::Window, kBackdrop);
        p.setColor(QPalette::Button, kFace);
        p.setColor(QPalette::ButtonText, kButtonText);
        p.setColor(QPalette::WindowText, kCaption);
        p.setColor(QPalette::Light, kLight);
        p.setColor(QPalette::Dark, kDark);
        parent.setPalette(p);
        parent.setAutoFillBackground(true);
        parent.resize(size.width() + 20, size.height() + 20);
        button = new TNavButton(&parent);
        button->setGeometry(10, 10, size.width(), size.height());
        QFont f(QStringLiteral("WenQuanYi Micro Hei"));
        f.setPixelSize(12);
        button->setFont(f);
    }

    // The button's area, rendered with its parent behind it.
    QImage shot()
    {
        QImage all(parent.size(), QImage::Format_ARGB32);
        parent.render(&all);
        return all.copy(button->geometry());
    }

    void enter() { QEnterEvent e(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15)); QCoreApplication::sendEvent(button, &e); }
    void leave() { QEvent e(QEvent::Leave); QCoreApplication::sendEvent(button, &e); }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held)
    {
        QMouseEvent e(type, QPointF(at), button->mapToGlobal(QPointF(at)), Qt::LeftButton, held,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(button, &e);
    }
    void press(QPoint at = {5, 5}) { mouse(QEvent::MouseButtonPress, at, Qt::LeftButton); }
    void release(QPoint at = {5, 5}) { mouse(QEvent::MouseButtonRelease, at, Qt::NoButton); }
    void doubleClick(QPoint at = {5, 5}) { mouse(QEvent::MouseButtonDblClick, at, Qt::LeftButton); }
};

QColor at(const QImage &img, int x, int y) { return img.pixelColor(x, y); }

Edge edgeOf(const QImage &img)
{
    const int w = img.width(), h = img.height();
    const QColor top = at(img, w / 2, 0), left = at(img, 0, h / 2);
    const QColor bottom = at(img, w / 2, h - 1), right = at(img, w - 1, h / 2);
    if (top == kLight && left == kLight && bottom == kDark && right == kDark)
        return Edge::Raised;
    if (top == kDark && left == kDark && bottom == kLight && right == kLight)
        return Edge::Sunken;
    return Edge::None;
}

// The smallest rectangle, between the edges, of pixels in none of the background colours;
// invalid when there are none.
QRect inkOf(const QImage &img, const QList<QColor> &background)
{
    QRect ink;
    for (int y = 1; y < img.height() - 1; ++y)
        for (int x = 1; x < img.width() - 1; ++x)
            if (!background.contains(at(img, x, y)))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// 32 × 32: red, with a green top-left pixel, white (the transparent colour) in the bottom-left
// corner and once more inside.
QPixmap picture(QSize size = {32, 32})
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(Qt::red);
    img.setPixelColor(0, 0, Qt::green);
    img.setPixelColor(0, size.height() - 1, Qt::white);
    img.setPixelColor(10, 10, Qt::white);
    return QPixmap::fromImage(img);
}

} // namespace

class tst_TNavButton : public QObject
{
    Q_OBJECT

private slots:
    void startsAsDocumented()
    {
        TNavButton b;
        QCOMPARE(b.size(), QSize(30, 30));
        QCOMPARE(b.Style(), BStyle::bsNormal);
        QVERIFY(!b.Checked() && !b.Hovered() && !b.Pressed());
        QVERIFY(b.Caption().isEmpty());
        QVERIFY(b.Bitmap().isNull());
        QCOMPARE(b.font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(b.font().pointSize(), 8);
    }

    void bevelFollowsStyleAndState_data()
    {
        QTest::addColumn<BStyle>("style");
        QTest::addColumn<bool>("hover");
        QTest::addColumn<bool>("press");
        QTest::addColumn<bool>("leaveWhileHeld");
        QTest::addColumn<Edge>("edge");
        QTest::addColumn<bool>("filled");

        using S = BStyle;
        QTest::newRow("a normal button at rest is raised") << S::bsNormal << false << false << false << Edge::Raised << false;
        QTest::newRow("a normal button under the pointer is raised") << S::bsNormal << true << false << false << Edge::Raised << false;
        QTest::newRow("a normal button held down is sunken") << S::bsNormal << true << true << false << Edge::Sunken << false;
        QTest::newRow("a flat button at rest has no bevel") << S::bsFlat << false << false << false << Edge::None << false;
        QTest::newRow("a flat button under the pointer is raised") << S::bsFlat << true << false << false << Edge::Raised << false;
        QTest::newRow("a flat button held down is sunken") << S::bsFlat << true << true << false << Edge::Sunken << false;
        QTest::newRow("a flat button held down with the pointer gone stays sunken") << S::bsFlat << true << true << true << Edge::Sunken << false;
        QTest::newRow("a hot-fill button at rest is bare") << S::bsHotFill << false << false << false << Edge::None << false;
        QTest::newRow("a hot-fill button under the pointer is raised and filled") << S::bsHotFill << true << false << false << Edge::Raised << true;
        QTest::newRow("a hot-fill button held down is sunken and filled") << S::bsHotFill << true << true << false << Edge::Sunken << true;
        QTest::newRow("a button without bevel stays bare under the pointer") << S::bsNone << true << false << false << Edge::None << false;
        QTest::newRow("a button without bevel stays bare when held down") << S::bsNone << true << true << false << Edge::None << false;
    }

    void bevelFollowsStyleAndState()
    {
        QFETCH(BStyle, style);
        QFETCH(bool, hover);
        QFETCH(bool, press);
        QFETCH(bool, leaveWhileHeld);
        QFETCH(Edge, edge);
        QFETCH(bool, filled);

        Scene s;
        s.button->setStyle(style);
        if (hover)
            s.enter();
        if (press)
            s.press();
        if (leaveWhileHeld)
            s.leave();
        const QImage img = s.shot();
        QCOMPARE(edgeOf(img), edge);
        QCOMPARE(at(img, 38, 32), filled ? kFace : kBackdrop);
        if (edge == Edge::None) {
            QCOMPARE(at(img, 0, 0), filled ? kFace : kBackdrop);
            QCOMPARE(at(img, 76, 64), filled ? kFace : kBackdrop);
        }
    }

    void flatButtonReturnsToRaisedAfterReleaseInside()
    {
        Scene s;
        s.button->setStyle(BStyle::bsFlat);
        s.enter();
        s.press();
        s.release({20, 20});
        QVERIFY(s.button->Hovered());
        QVERIFY(!s.button->Pressed());
        QCOMPARE(edgeOf(s.shot()), Edge::Raised);

        s.press();
        s.release({200, 20});
        QVERIFY(!s.button->Hovered());
        QCOMPARE(edgeOf(s.shot()), Edge::None);
    }

    void raisedBevelOwnsCornersLikeA3dFrame()
    {
        Scene s;
        const QImage img = s.shot();
        QCOMPARE(at(img, 0, 0), kLight);
        QCOMPARE(at(img, 76, 0), kDark);
        QCOMPARE(at(img, 0, 64), kDark);
        QCOMPARE(at(img, 76, 64), kDark);
    }

    void pictureIsPlacedAboveTheCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QSize>("buttonSize");
        QTest::newRow("with a caption the picture sits above one text line") << QStringLiteral("看日记") << QSize(77, 65);
        QTest::newRow("without a caption the picture is centred both ways") << QString() << QSize(77, 65);
        QTest::newRow("odd leftover space is halved toward zero") << QString() << QSize(40, 40);
    }

    void pictureIsPlacedAboveTheCaption()
    {
        QFETCH(QString, caption);
        QFETCH(QSize, buttonSize);
        Scene s(buttonSize);
        s.button->setStyle(BStyle::bsNone);
        s.button->setBitmap(picture());
        s.button->setCaption(caption);
        const QImage img = s.shot();

        const int lineHeight = QFontMetrics(s.button->font()).height();
        const int w = buttonSize.width(), h = buttonSize.height();
        const int x = (w - 32) / 2;
        const int y = caption.isEmpty() ? (h - 32) / 2 : (h - 32 - lineHeight) / 2;
        QCOMPARE(s.button->BitmapRect(), QRect(x, y, 32, 32));
        QCOMPARE(at(img, x, y), QColor(Qt::green));
        QCOMPARE(at(img, x + 31, y + 31), QColor(Qt::red));
        QCOMPARE(at(img, x - 1, y), kBackdrop);
        QCOMPARE(at(img, x + 32, y + 32), kBackdrop);
    }

    void pictureIsTransparentWhereItHasItsBottomLeftColour()
    {
        Scene s;
        s.button->setStyle(BStyle::bsNone);
        const QPixmap pic = picture();
        s.button->setBitmap(pic);
        const QImage img = s.shot();
        const QPoint o = s.button->BitmapRect().topLeft();
        QCOMPARE(at(img, o.x(), o.y() + 31), kBackdrop);
        QCOMPARE(at(img, o.x() + 10, o.y() + 10), kBackdrop);
        QCOMPARE(at(img, o.x() + 11, o.y() + 10), QColor(Qt::red));
        // Painting leaves the stored picture as it was.
        QCOMPARE(s.button->Bitmap().toImage().pixelColor(0, 31), QColor(Qt::white));
        QCOMPARE(s.button->Bitmap().toImage().pixelColor(10, 10), QColor(Qt::white));
    }

    void oneBitPictureIsTransparentWhereWhite()
    {
        QBitmap bits(8, 8);
        bits.fill(Qt::color0);
        {
            QPainter p(&bits);
            p.fillRect(0, 0, 4, 8, Qt::color1);
        }
        const QImage copy = transparentCopy(bits);
        QCOMPARE(qAlpha(copy.pixel(1, 7)), 255);
        QCOMPARE(QColor(copy.pixel(1, 7)), QColor(Qt::black));
        QCOMPARE(qAlpha(copy.pixel(6, 7)), 0);
    }

    void pictureLargerThanTheButtonShowsItsMiddle()
    {
        Scene s({30, 30});
        s.button->setStyle(BStyle::bsNone);
        QImage big(50, 50, QImage::Format_RGB32);
        big.fill(Qt::red);
        big.setPixelColor(10, 10, Qt::blue);
        s.button->setBitmap(QPixmap::fromImage(big));
        const QImage img = s.shot();
        QCOMPARE(s.button->BitmapRect(), QRect(-10, -10, 50, 50));
        QCOMPARE(at(img, 0, 0), QColor(Qt::blue));
    }

    void captionRowsFollowThePlacementRule_data()
    {
        QTest::addColumn<bool>("withPicture");
        QTest::newRow("a caption alone is centred vertically on one line") << false;
        QTest::newRow("a caption under a picture starts three pixels below it") << true;
    }

    void captionRowsFollowThePlacementRule()
    {
        QFETCH(bool, withPicture);
        Scene s;
        s.button->setStyle(BStyle::bsNone);
        s.button->setCaption(QStringLiteral("W"));
        if (withPicture)
            s.button->setBitmap(picture());
        QImage img = s.shot();
        const int lineHeight = QFontMetrics(s.button->font()).height();
        const int top = withPicture ? s.button->BitmapRect().y() + 32 + 3 : (65 - lineHeight) / 2;
        if (withPicture) {
            QPainter blank(&img);
            blank.fillRect(s.button->BitmapRect(), kBackdrop);
        }
        const QRect ink = inkOf(img, {kBackdrop});
        const int first = ink.top(), last = ink.bottom();
        QVERIFY2(ink.isValid() && first >= top && last < top + lineHeight,
                 qPrintable(QStringLiteral("ink %1..%2, line %3..%4").arg(first).arg(last).arg(top).arg(top + lineHeight - 1)));
        // The glyph is centred across the whole width.
        QVERIFY(qAbs((ink.left() + ink.right()) - 76) <= 2);
    }

    void pressingMovesPictureAndCaptionOnePixelDownAndRight()
    {
        Scene s;
        s.button->setStyle(BStyle::bsNone);
        s.button->setBitmap(picture());
        s.button->setCaption(QStringLiteral("用户登录"));
        const QImage up = s.shot();
        s.press();
        QVERIFY(s.button->Pressed());
        const QImage down = s.shot();
        QCOMPARE(s.button->BitmapRect(), QRect(22, s.button->BitmapRect().y(), 32, 32));
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 76; ++x)
                QCOMPARE(at(down, x + 1, y + 1), at(up, x, y));
    }

    void checkedCaptionHasButtonFaceBehindItInButtonText()
    {
        Scene s;
        s.button->setStyle(BStyle::bsNone);
        s.button->setCaption(QStringLiteral("帮助"));
        const QImage plain = s.shot();
        s.button->setChecked(true);
        const QImage checked = s.shot();
        bool face = false, text = false, caption = false;
        for (int y = 1; y < 64; ++y)
            for (int x = 1; x < 76; ++x) {
                const QColor c = at(checked, x, y);
                face |= c == kFace;
                text |= c == kButtonText;
                caption |= c == kCaption;
            }
        QVERIFY(face && text && !caption);
        QVERIFY(inkOf(plain, {kBackdrop}).isValid());
        QCOMPARE(edgeOf(checked), edgeOf(plain));
    }

    void hotFillCaptionUsesButtonTextWhileHovered()
    {
        Scene s;
        s.button->setStyle(BStyle::bsHotFill);
        s.button->setCaption(QStringLiteral("关于..."));
        s.enter();
        const QImage img = s.shot();
        bool text = false, caption = false;
        for (int y = 1; y < 64; ++y)
            for (int x = 1; x < 76; ++x) {
                text |= at(img, x, y) == kButtonText;
                caption |= at(img, x, y) == kCaption;
            }
        QVERIFY(text && !caption);
    }

    void ampersandUnderlinesInsteadOfShowing()
    {
        Scene s;
        s.button->setStyle(BStyle::bsNone);
        s.button->setCaption(QStringLiteral("W"));
        const QImage plain = s.shot();
        s.button->setCaption(QStringLiteral("&W"));
        const QImage marked = s.shot();
        QVERIFY(plain != marked);   // the underline
        // The ampersand itself is not drawn: the glyph stays where it was.
        QVERIFY(inkOf(marked, {kBackdrop}).left() >= inkOf(plain, {kBackdrop}).left() - 1);
        QCOMPARE(inkOf(marked, {kBackdrop}).top(), inkOf(plain, {kBackdrop}).top());
        s.button->setCaption(QStringLiteral("&&"));
        const QImage amp = s.shot();
        QVERIFY(inkOf(amp, {kBackdrop}).isValid());
    }

    void longCaptionIsDrawnWhole()
    {
        Scene s({900, 40});
        s.button->setStyle(BStyle::bsNone);
        const QString longer = QString(30, QChar(0x65E5));   // 30 characters, 60 bytes in GBK
        s.button->setCaption(longer.left(21));
        const int width21 = inkOf(s.shot(), {kBackdrop}).width();
        s.button->setCaption(longer);
        QVERIFY(inkOf(s.shot(), {kBackdrop}).width() > width21 * 13 / 10);
    }

    void clickNeedsReleaseInside()
    {
        Scene s;
        QSignalSpy clicks(s.button, &TNavButton::clicked);
        bool pressedAtClick = true;
        QObject::connect(s.button, &TNavButton::clicked, [&] { pressedAtClick = s.button->Pressed(); });
        s.press();
        s.release();
        QCOMPARE(clicks.count(), 1);
        // A handler that opens a modal box does not leave the button drawn held down.
        QVERIFY(!pressedAtClick);
        s.press();
        s.release({-5, 5});
        QCOMPARE(clicks.count(), 1);
    }

    void doubleClickCountsAsOneClick()
    {
        Scene s;
        QSignalSpy clicks(s.button, &TNavButton::clicked);
        s.press();
        QVERIFY(s.button->Pressed());
        s.release();
        // The platform delivers the second press and, at once, the double click.
        s.press();
        s.doubleClick();
        QVERIFY(!s.button->Pressed());
        QCOMPARE(edgeOf(s.shot()), Edge::Raised);
        s.release();
        QCOMPARE(clicks.count(), 1);
        QVERIFY(!s.button->Pressed());
    }

    void movingOverSetsHoverExceptWithoutBevel()
    {
        Scene s;
        s.button->setStyle(BStyle::bsFlat);
        s.mouse(QEvent::MouseMove, {3, 3}, Qt::NoButton);
        QVERIFY(s.button->Hovered());
        Scene bare;
        bare.button->setStyle(BStyle::bsNone);
        bare.mouse(QEvent::MouseMove, {3, 3}, Qt::NoButton);
        QVERIFY(!bare.button->Hovered());
    }
};

QTEST_MAIN(tst_TNavButton)
#include "nav_button_test.moc"
