#include "widgets/link_label.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

namespace {

const QColor kGround(90, 90, 90);
const QColor kInk(0, 0, 0);

struct Label {
    TLinkLabel label;

    explicit Label(const QString &text, QSize size = {120, 40})
    {
        QPalette p = label.palette();
        p.setColor(QPalette::Window, kGround);
        p.setColor(QPalette::WindowText, kInk);
        label.setPalette(p);
        label.setTransparent(false);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(14);
        f.setStyleStrategy(QFont::NoAntialias);
        label.setFont(f);
        label.setText(text);
        label.resize(size);
    }

    QImage shot()
    {
        QImage img(label.size(), QImage::Format_ARGB32);
        label.render(&img);
        return img;
    }

    void enter() { QEnterEvent e(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2)); QCoreApplication::sendEvent(&label, &e); }
    void leave() { QEvent e(QEvent::Leave); QCoreApplication::sendEvent(&label, &e); }
};

QSet<QPoint> pixelsOf(const QImage &img, const QColor &colour)
{
    QSet<QPoint> set;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y) == colour)
                set.insert(QPoint(x, y));
    return set;
}

QSet<QPoint> moved(const QSet<QPoint> &set, QPoint by)
{
    QSet<QPoint> out;
    for (const QPoint &p : set)
        out.insert(p + by);
    return out;
}

std::pair<int, int> rowsOf(const QSet<QPoint> &set)
{
    int top = INT_MAX, bottom = -1;
    for (const QPoint &p : set) {
        top = qMin(top, p.y());
        bottom = qMax(bottom, p.y());
    }
    return {top, bottom};
}

} // namespace

class tst_TLinkLabel : public QObject
{
    Q_OBJECT

private slots:
    void whiteCopyFollowsTheDrawType_data()
    {
        QTest::addColumn<TDrawType>("type");
        QTest::addColumn<QPoint>("textShift");
        QTest::addColumn<QPoint>("copyShift");
        QTest::newRow("lowered text stays in place over a copy one pixel down and right")
            << TDrawType::dtLowered << QPoint(0, 0) << QPoint(1, 1);
        QTest::newRow("raised text moves down and right over a copy one pixel up and left")
            << TDrawType::dtRaised << QPoint(1, 1) << QPoint(-1, -1);
        QTest::newRow("plain text has no copy") << TDrawType::dtNone << QPoint(0, 0) << QPoint();
    }

    void whiteCopyFollowsTheDrawType()
    {
        QFETCH(TDrawType, type);
        QFETCH(QPoint, textShift);
        QFETCH(QPoint, copyShift);

        Label plain(QStringLiteral("Wg"));
        plain.label.setDrawType(TDrawType::dtNone);
        const QSet<QPoint> glyph = pixelsOf(plain.shot(), kInk);
        QVERIFY(!glyph.isEmpty());

        Label l(QStringLiteral("Wg"));
        l.label.setDrawType(type);
        const QImage img = l.shot();
        const QSet<QPoint> text = moved(glyph, textShift);
        QCOMPARE(pixelsOf(img, kInk), text);
        QSet<QPoint> copy = copyShift.isNull() ? QSet<QPoint>() : moved(glyph, copyShift) - text;
        copy.removeIf([&](const QPoint &p) { return !img.rect().contains(p); });
        QCOMPARE(pixelsOf(img, Qt::white), copy);
    }

    void disabledLabelDrawsGreyOnceWithoutCopy()
    {
        Label plain(QStringLiteral("Wg"));
        plain.label.setDrawType(TDrawType::dtNone);
        const QSet<QPoint> glyph = pixelsOf(plain.shot(), kInk);

        Label l(QStringLiteral("Wg"));
        l.label.setDrawType(TDrawType::dtRaised);
        l.label.setEnabled(false);
        const QImage img = l.shot();
        const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
        QVERIFY(grey != kGround && grey != Qt::white);
        QCOMPARE(pixelsOf(img, grey), glyph);
        QVERIFY(pixelsOf(img, Qt::white).isEmpty());
    }

    void verticalPlacement_data()
    {
        QTest::addColumn<bool>("vCenter");
        QTest::newRow("centred vertically the text is one line in the middle") << true;
        QTest::newRow("otherwise it wraps from the top") << false;
    }

    void verticalPlacement()
    {
        QFETCH(bool, vCenter);
        Label l(QStringLiteral("ab\nab"), {120, 80});
        l.label.setDrawType(TDrawType::dtNone);
        l.label.setVCenter(vCenter);
        QCOMPARE(l.label.wordWrap(), !vCenter);
        const auto [top, bottom] = rowsOf(pixelsOf(l.shot(), kInk));
        const int lineHeight = QFontMetrics(l.label.font()).height();
        if (vCenter) {
            QVERIFY(bottom - top < lineHeight);
            QVERIFY(qAbs((top + bottom) - 80) <= lineHeight / 2);
        } else {
            QVERIFY(top < lineHeight);
            QVERIFY(bottom - top > lineHeight);
        }
    }

    void longSingleLineIsClippedNotWrapped()
    {
        Label l(QStringLiteral("wide wide wide wide wide wide wide wide"), {60, 60});
        l.label.setDrawType(TDrawType::dtNone);
        l.label.setVCenter(true);
        const auto [top, bottom] = rowsOf(pixelsOf(l.shot(), kInk));
        QVERIFY(bottom - top < QFontMetrics(l.label.font()).height());
        QCOMPARE(l.label.size(), QSize(60, 60));
    }

    void horizontalAlignmentPlacesTheText_data()
    {
        QTest::addColumn<int>("align");
        QTest::newRow("left-aligned text starts at the left edge") << int(Qt::AlignLeft);
        QTest::newRow("right-aligned text ends at the right edge") << int(Qt::AlignRight);
        QTest::newRow("centred text sits in the middle") << int(Qt::AlignHCenter);
    }

    void horizontalAlignmentPlacesTheText()
    {
        QFETCH(int, align);
        Label l(QStringLiteral("III"), {200, 30});
        l.label.setDrawType(TDrawType::dtNone);
        l.label.setAlignment(Qt::Alignment(align));
        int left = INT_MAX, right = -1;
        for (const QPoint &p : pixelsOf(l.shot(), kInk)) {
            left = qMin(left, p.x());
            right = qMax(right, p.x());
        }
        if (align == Qt::AlignLeft)
            QVERIFY(left < 5);
        else if (align == Qt::AlignRight)
            QVERIFY(right > 194);
        else
            QVERIFY(qAbs((left + right) - 199) <= 3);
    }

    void linkHoverChangesColourUnderlineAndPointer()
    {
        Label l(QStringLiteral("www.example.org"));
        l.label.setLinkType(true);
        l.label.setAboveColor(Qt::red);
        l.enter();
        QCOMPARE(l.label.palette().color(QPalette::WindowText), QColor(Qt::red));
        QVERIFY(l.label.font().underline());
        QCOMPARE(l.label.cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!pixelsOf(l.shot(), Qt::red).isEmpty());
        l.leave();
        QCOMPARE(l.label.palette().color(QPalette::WindowText), kInk);
        QVERIFY(!l.label.font().underline());
        QCOMPARE(l.label.cursor().shape(), Qt::ArrowCursor);
    }

    void storedUnderlineAndHandLastOnlyUntilTheFirstPass()
    {
        Label l(QStringLiteral("mail"));
        QFont f = l.label.font();
        f.setUnderline(true);
        l.label.setFont(f);
        l.label.setCursor(Qt::PointingHandCursor);
        l.label.setLinkType(true);
        l.label.setAboveColor(kInk);
        l.enter();
        QCOMPARE(l.label.palette().color(QPalette::WindowText), kInk);
        QVERIFY(l.label.font().underline());
        l.leave();
        QVERIFY(!l.label.font().underline());
        QCOMPARE(l.label.cursor().shape(), Qt::ArrowCursor);
    }

    void plainLabelIgnoresThePointer()
    {
        Label l(QStringLiteral("prompt"));
        l.label.setCursor(Qt::IBeamCursor);
        l.enter();
        QCOMPARE(l.label.palette().color(QPalette::WindowText), kInk);
        QVERIFY(!l.label.font().underline());
        l.leave();
        QCOMPARE(l.label.cursor().shape(), Qt::IBeamCursor);
    }

    void labelKeepsItsDesignedSize()
    {
        Label l(QStringLiteral("a text much wider than the label itself"), {50, 13});
        l.label.adjustSize();
        QCOMPARE(l.label.size(), QSize(50, 13));
        l.label.setText(QString());
        l.label.adjustSize();
        QCOMPARE(l.label.size(), QSize(50, 13));
    }

    void emptyCaptionDrawsNothing()
    {
        Label l{QString()};
        const QImage img = l.shot();
        QCOMPARE(pixelsOf(img, kGround).size(), img.width() * img.height());
    }

    void clickNeedsPressAndReleaseInside()
    {
        Label l(QStringLiteral("link"));
        QSignalSpy clicks(&l.label, &TLinkLabel::clicked);
        QTest::mouseClick(&l.label, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks.count(), 1);
        QTest::mousePress(&l.label, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&l.label, Qt::LeftButton, {}, QPoint(500, 5));
        QCOMPARE(clicks.count(), 1);
    }
};

QTEST_MAIN(tst_TLinkLabel)
#include "link_label_test.moc"
