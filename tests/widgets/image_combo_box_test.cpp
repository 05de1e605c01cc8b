#include "widgets/entry_boxes.h"
#include "widgets/image_combo_box.h"

#include "platform/exception.h"

#include <QAbstractItemView>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTest>

namespace {

const QColor kBase(255, 255, 255);
const QColor kText(0, 0, 0);
const QColor kHighlight(0, 0, 200);
const QColor kHighlightText(255, 255, 255);
const QColor kMidlight(220, 220, 220);
const QColor kShadow(40, 40, 40);
const QColor kPicture(0, 180, 0);
const QColor kOutside(255, 0, 255);

QPixmap solid(const QColor &colour, int size = 16)
{
    QPixmap p(size, size);
    p.fill(colour);
    return p;
}

// A box with two solid green pictures, items "Wx" …, and a plain palette.
struct Box {
    TImageList list{16, 16};
    TImageComboBox box;

    explicit Box(const QStringList &entries = {QStringLiteral("0,"), QStringLiteral("1,")})
    {
        QPalette p = box.palette();
        p.setColor(QPalette::Base, kBase);
        p.setColor(QPalette::Text, kText);
        p.setColor(QPalette::Highlight, kHighlight);
        p.setColor(QPalette::HighlightedText, kHighlightText);
        p.setColor(QPalette::Midlight, kMidlight);
        p.setColor(QPalette::Shadow, kShadow);
        box.setPalette(p);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(12);
        box.setFont(f);
        list.Add(solid(kPicture));
        list.Add(solid(kPicture));
        box.setImageList(&list);
        for (int i = 0; i < entries.size(); ++i)
            box.addItem(QStringLiteral("Wx"));
        box.setSaveStrings(entries);
    }

    // Item index drawn at (10, 10) in a 100 × 18 rectangle of a larger image.
    QImage draw(int index, bool highlighted, QRect rect = {10, 10, 100, 18})
    {
        QImage img(130, 40, QImage::Format_ARGB32);
        img.fill(kOutside);
        QPainter painter(&img);
        box.DrawItem(painter, index, rect, highlighted);
        return img;
    }
};

// The smallest rectangle holding all text ink (neither fill, picture, frame nor outside colours);
// invalid when there is none.
QRect textInk(const QImage &img, const QColor &fill)
{
    const QList<QColor> plain{fill, kPicture, kOutside, kMidlight, kShadow};
    QRect ink;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (!plain.contains(img.pixelColor(x, y)))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

bool onlyColour(const QImage &img, const QRect &area, const QColor &colour)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixelColor(x, y) != colour)
                return false;
    return true;
}

} // namespace

class tst_TImageComboBox : public QObject
{
    Q_OBJECT

private slots:
    void imageIndexIsReadBeforeTheFirstComma_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("index");
        QTest::newRow("an empty entry has no picture") << QString() << -1;
        QTest::newRow("a lone comma has no picture") << QStringLiteral(",") << -1;
        QTest::newRow("an entry without a comma has no picture") << QStringLiteral("7") << -1;
        QTest::newRow("a number and a comma name the picture") << QStringLiteral("1,") << 1;
        QTest::newRow("the tail after the comma is ignored") << QStringLiteral("12,abc") << 12;
        QTest::newRow("only the first comma counts") << QStringLiteral("3,4,5") << 3;
    }

    void imageIndexIsReadBeforeTheFirstComma()
    {
        QFETCH(QString, entry);
        QFETCH(int, index);
        TImageComboBox box;
        box.setSaveStrings({entry});
        QCOMPARE(box.GetImageIndex(0), index);
        QCOMPARE(box.GetImageIndex(1), -1);
    }

    void entryThatIsNotANumberFailsToConvert()
    {
        TImageComboBox box;
        box.setSaveStrings({QStringLiteral("x1,")});
        try {
            box.GetImageIndex(0);
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'x1' is not a valid integer value"));
        }
    }

    void setImageIndexKeepsTheTail()
    {
        TImageComboBox box;
        const QString longTail(1500, QLatin1Char('t'));
        box.setSaveStrings({QStringLiteral("12,abc"), QStringLiteral("4,"), QStringLiteral("5,") + longTail,
                            QStringLiteral("plain")});
        box.SetImageIndex(0, 3);
        QCOMPARE(box.SaveStrings().at(0), QStringLiteral("3,abc"));
        box.SetImageIndex(1, 4);
        QCOMPARE(box.SaveStrings().at(1), QStringLiteral("4,"));
        box.SetImageIndex(2, 6);
        QCOMPARE(box.SaveStrings().at(2), QStringLiteral("6,") + longTail.left(1000));
        box.SetImageIndex(3, 2);
        QCOMPARE(box.SaveStrings().at(3), QStringLiteral("2,plain"));
        box.SetImageIndex(9, 1);
        QCOMPARE(box.SaveStrings().size(), 4);
    }

    void entriesFollowItemChanges()
    {
        TImageComboBox box;
        box.addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        QCOMPARE(box.SaveStrings(), QStringList(3));
        box.setSaveStrings({QStringLiteral("1,"), QStringLiteral("2,"), QStringLiteral("3,"), QStringLiteral("9,")});

        // Replacing a text keeps the picture.
        box.setItemText(1, QStringLiteral("B"));
        QCOMPARE(box.GetImageIndex(1), 2);

        // A deletion directly followed by an insertion at its place puts the entry back.
        box.removeItem(1);
        QCOMPARE(box.SaveStrings(), (QStringList{QStringLiteral("1,"), QStringLiteral("3,"), QStringLiteral("9,")}));
        box.insertItem(1, QStringLiteral("b2"));
        QCOMPARE(box.GetImageIndex(1), 2);

        // Anything handled in between makes it an ordinary insertion, without picture.
        box.removeItem(1);
        QEvent other(QEvent::User);
        QCoreApplication::sendEvent(&box, &other);
        box.insertItem(1, QStringLiteral("b3"));
        QCOMPARE(box.GetImageIndex(1), -1);
        QCOMPARE(box.GetImageIndex(2), 3);

        // Adding at the end appends an empty entry at the end of the list, not at the item.
        box.addItem(QStringLiteral("d"));
        QCOMPARE(box.SaveStrings(), (QStringList{QStringLiteral("1,"), QString(), QStringLiteral("3,"),
                                                 QStringLiteral("9,"), QString()}));
        QCOMPARE(box.GetImageIndex(3), 9);
    }

    void deletedItemDoesNotLendItsPictureToAnAddedOne()
    {
        TImageComboBox box;
        box.addItems({QStringLiteral("a"), QStringLiteral("b")});
        box.setSaveStrings({QStringLiteral("1,"), QStringLiteral("2,")});
        box.removeItem(1);
        box.addItem(QStringLiteral("c"));
        QCOMPARE(box.GetImageIndex(1), -1);
    }

    void clearingLeavesPicturesWithPositions()
    {
        TImageComboBox box;
        box.addItems({QStringLiteral("a"), QStringLiteral("b")});
        box.setSaveStrings({QStringLiteral("1,"), QStringLiteral("2,")});
        box.clear();
        box.addItems({QStringLiteral("x"), QStringLiteral("y")});
        QCOMPARE(box.GetImageIndex(0), 1);
        QCOMPARE(box.GetImageIndex(1), 2);
        QCOMPARE(box.SaveStrings().size(), 4);
    }

    void insertionsOutsideTheEntriesAreTolerated()
    {
        TImageComboBox box;
        box.addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        box.setSaveStrings({QStringLiteral("1,")});
        box.removeItem(2);
        box.insertItem(1, QStringLiteral("n"));
        QCOMPARE(box.SaveStrings(), (QStringList{QStringLiteral("1,"), QString()}));
    }

    void itemHeightRules()
    {
        TImageList list(16, 16);
        TImageComboBox box;
        QFont f = box.font();
        f.setPointSize(8);
        box.setFont(f);
        const int before = box.listItemHeight();
        box.setItemHeight(0);
        QCOMPARE(box.listItemHeight(), before);   // font height alone comes out at 0 or less

        box.setItemHeight(5);
        QCOMPARE(box.ItemHeight(), 0);
        box.setItemHeight(10);
        QCOMPARE(box.ItemHeight(), 10);
        QCOMPARE(box.listItemHeight(), 10);

        box.setItemHeight(0);
        box.setImageList(&list);
        QCOMPARE(box.listItemHeight(), 18);
        list.SetSize(16, 24);
        QCOMPARE(box.listItemHeight(), 26);
    }

    void destroyedImageListIsForgotten()
    {
        TImageComboBox box;
        box.addItem(QStringLiteral("a"));
        box.setSaveStrings({QStringLiteral("0,")});
        {
            TImageList list;
            list.Add(solid(kPicture));
            box.setImageList(&list);
            QCOMPARE(box.ImageList(), &list);
        }
        QVERIFY(box.ImageList() == nullptr);
        QImage img(50, 20, QImage::Format_ARGB32);
        QPainter painter(&img);
        box.DrawItem(painter, 0, QRect(0, 0, 50, 18), true);
    }

    void pictureAndTextFollowTheItemArithmetic()
    {
        Box b;
        const QImage img = b.draw(0, false);
        // The picture fills (R.left, R.top + 2) … (R.left + 17, R.top + 16), stretched.
        QVERIFY(onlyColour(img, QRect(10, 12, 17, 14), kPicture));
        QCOMPARE(img.pixelColor(27, 18), kBase);
        QCOMPARE(img.pixelColor(10, 11), kBase);
        QCOMPARE(img.pixelColor(10, 26), kBase);
        // Nothing is drawn outside the item.
        QCOMPARE(img.pixelColor(9, 18), kOutside);
        QVERIFY(textInk(img, kBase).left() >= 28);
    }

    void textStartsOnePixelFurtherWithoutPicture_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("an empty entry") << QString();
        QTest::newRow("a lone comma") << QStringLiteral(",");
        QTest::newRow("an index beyond the image list") << QStringLiteral("2,");
        QTest::newRow("a damaged entry, which draws without failing") << QStringLiteral("zz,");
    }

    void textStartsOnePixelFurtherWithoutPicture()
    {
        QFETCH(QString, entry);
        Box b({QStringLiteral("0,"), entry});
        const int withPicture = textInk(b.draw(0, false), kBase).left();
        const QImage bare = b.draw(1, false);
        QCOMPARE(textInk(bare, kBase).left(), withPicture + 1);
        QVERIFY(onlyColour(bare, QRect(10, 10, 18, 18), kBase));
    }

    void noImageListPutsTheTextAtTheEdge()
    {
        Box b;
        const int withPicture = textInk(b.draw(0, false), kBase).left();
        b.box.setImageList(nullptr);
        QCOMPARE(textInk(b.draw(0, false), kBase).left(), withPicture - 17);
    }

    void missingEntryMeansNoPicture()
    {
        Box b({QStringLiteral("0,")});
        b.box.addItem(QStringLiteral("Wx"));
        QCOMPARE(b.box.GetImageIndex(1), -1);
        QVERIFY(onlyColour(b.draw(1, false), QRect(10, 10, 18, 18), kBase));
    }

    void frameOnlyAroundTheHighlightedCurrentItem_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("highlighted");
        QTest::addColumn<bool>("framed");
        QTest::newRow("the current item drawn highlighted is framed") << 0 << true << true;
        QTest::newRow("the current item drawn in the box colour is not") << 0 << false << false;
        QTest::newRow("another item drawn highlighted is not") << 1 << true << false;
    }

    void frameOnlyAroundTheHighlightedCurrentItem()
    {
        QFETCH(int, index);
        QFETCH(bool, highlighted);
        QFETCH(bool, framed);
        Box b;
        b.box.setCurrentIndex(0);
        const QImage img = b.draw(index, highlighted);
        const QColor fill = highlighted ? kHighlight : kBase;
        // The frame runs along (R.left - 1, R.top + 1) … (R.left + 18, R.top + 17): its left
        // column lies outside the item, its inner ring under the picture.
        if (framed) {
            QVERIFY(onlyColour(img, QRect(10, 11, 17, 1), kMidlight));
            QVERIFY(onlyColour(img, QRect(9, 11, 1, 15), kMidlight));
            QVERIFY(onlyColour(img, QRect(27, 11, 1, 16), kShadow));
            QVERIFY(onlyColour(img, QRect(9, 26, 19, 1), kShadow));
        } else {
            QVERIFY(onlyColour(img, QRect(10, 11, 18, 1), fill));
            QVERIFY(onlyColour(img, QRect(27, 11, 1, 16), fill));
            QCOMPARE(img.pixelColor(9, 15), kOutside);
        }
        QVERIFY(onlyColour(img, QRect(10, 12, 17, 14), kPicture));
    }

    void pictureOnTheRightMovesTheTextsEnd()
    {
        Box b;
        b.box.setImageAlign(TImageAlign::ialRight);
        b.box.setAlignment(TAlignment::taRightJustify);
        const QImage img = b.draw(0, false);
        // R = 10 … 110: the picture fills 93 … 107, the text ends before 92.
        QVERIFY(onlyColour(img, QRect(93, 12, 15, 14), kPicture));
        QCOMPARE(img.pixelColor(92, 18), kBase);
        QCOMPARE(img.pixelColor(108, 18), kBase);
        const int right = textInk(img, kBase).right();
        QVERIFY(right <= 91 && right >= 86);
    }

    void verticalAlignmentPlacesOneLine_data()
    {
        QTest::addColumn<TVertAlignment>("alignment");
        QTest::addColumn<bool>("multiLines");
        QTest::newRow("top alignment puts the line at the top") << TVertAlignment::tvaTop << false;
        QTest::newRow("bottom alignment puts the line at the bottom") << TVertAlignment::tvaBottom << false;
        QTest::newRow("several lines start at the top whatever the alignment") << TVertAlignment::tvaBottom << true;
    }

    void verticalAlignmentPlacesOneLine()
    {
        QFETCH(TVertAlignment, alignment);
        QFETCH(bool, multiLines);
        Box b;
        b.box.setImageList(nullptr);
        b.box.setVertAlignment(alignment);
        b.box.setMultiLines(multiLines);
        const QRect tall(10, 0, 100, 40);
        const QRect ink = textInk(b.draw(0, false, tall), kBase);
        const int top = ink.top(), bottom = ink.bottom();
        if (alignment == TVertAlignment::tvaTop || multiLines)
            QVERIFY2(top <= 5, qPrintable(QString::number(top)));
        else
            QVERIFY2(bottom >= 33, qPrintable(QString::number(bottom)));
    }

    void drawItemHandlerDrawsInsteadOfTheText()
    {
        Box b;
        QRect given;
        int calledFor = -1;
        b.box.setOnDrawItem([&](TCustomImageComboBox *sender, QPainter &, int index, const QRect &rect) {
            QCOMPARE(sender, &b.box);
            calledFor = index;
            given = rect;
        });
        const QImage img = b.draw(0, false);
        QCOMPARE(calledFor, 0);
        QCOMPARE(given, QRect(QPoint(28, 11), QPoint(108, 26)));
        QVERIFY(!textInk(img, kBase).isValid());
        QVERIFY(onlyColour(img, QRect(10, 12, 17, 14), kPicture));
    }

    void assignCopiesItemsEntriesAndSettings()
    {
        Box from;
        from.box.setImageAlign(TImageAlign::ialRight);
        from.box.setMultiLines(true);
        TImageComboBox to;
        to.addItems({QStringLiteral("old"), QStringLiteral("older"), QStringLiteral("oldest")});
        to.Assign(&from.box);
        QCOMPARE(to.count(), 2);
        QCOMPARE(to.SaveStrings(), from.box.SaveStrings());
        QCOMPARE(to.ImageList(), &from.list);
        QCOMPARE(to.ImageAlign(), TImageAlign::ialRight);
        QVERIFY(to.MultiLines());
        QCOMPARE(to.font(), from.box.font());
        QCOMPARE(to.listItemHeight(), 18);
    }

    void assignFromAnythingElseFails_data()
    {
        QTest::addColumn<bool>("label");
        QTest::addColumn<QString>("message");
        QTest::newRow("a label cannot be assigned") << true << QStringLiteral("Cannot assign a QLabel to a TImageComboBox");
        QTest::newRow("nothing cannot be assigned") << false << QStringLiteral("Cannot assign a nil to a TImageComboBox");
    }

    void assignFromAnythingElseFails()
    {
        QFETCH(bool, label);
        QFETCH(QString, message);
        QLabel l;
        TImageComboBox box;
        try {
            box.Assign(label ? &l : nullptr);
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), message);
        }
    }

    void entryBoxesHoldTheChoicesAndTheirPictures_data()
    {
        QTest::addColumn<bool>("weather");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<int>>("pictures");
        QTest::newRow("the weather box shows sun, clouds, rain and snow")
            << true << QStringList{QStringLiteral("　晴"), QStringLiteral("　阴"), QStringLiteral("　雨"), QStringLiteral("　雪")}
            << QList<int>{1, 2, 3, 0};
        QTest::newRow("the mood box shows its eight faces and signs")
            << false
            << QStringList{QStringLiteral("　高兴"), QStringLiteral("　烦恼"), QStringLiteral("　愤怒"), QStringLiteral("　伤感"),
                           QStringLiteral("　想法"), QStringLiteral("　感慨"), QStringLiteral("　疑问"), QStringLiteral("　爱心")}
            << QList<int>{4, 3, 5, 6, 7, 0, 1, 2};
    }

    void entryBoxesHoldTheChoicesAndTheirPictures()
    {
        QFETCH(bool, weather);
        QFETCH(QStringList, texts);
        QFETCH(QList<int>, pictures);
        QWidget page;
        TImageComboBox *box = weather ? makeWeatherBox(&page) : makeMoodBox(&page);
        QCOMPARE(box->count(), texts.size());
        for (int i = 0; i < texts.size(); ++i) {
            QCOMPARE(box->itemText(i), texts.at(i));
            QCOMPARE(box->itemText(i).at(0), QChar(0x3000));
            QCOMPARE(box->GetImageIndex(i), pictures.at(i));
        }
        QCOMPARE(box->ImageList()->Count(), texts.size());
        QCOMPARE(box->listItemHeight(), 18);
        QCOMPARE(box->view()->sizeHintForRow(0), 18);
        QCOMPARE(box->currentIndex(), 0);
        if (weather)
            QCOMPARE(box->maxVisibleItems(), 4);

        // Every picture is 16 × 16, has a transparent background and differs from the others.
        QList<QImage> seen;
        for (int i = 0; i < box->ImageList()->Count(); ++i) {
            const QImage img = box->ImageList()->Picture(i).toImage();
            QCOMPARE(img.size(), QSize(16, 16));
            QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
            QVERIFY(qAlpha(img.pixel(8, 8)) > 0 || qAlpha(img.pixel(8, 12)) > 0);
            QVERIFY(!seen.contains(img));
            seen.append(img);
        }
    }

    void closedBoxShowsTheCurrentPicture()
    {
        Box b;
        b.box.setCurrentIndex(1);
        b.box.resize(120, 24);
        QImage img(b.box.size(), QImage::Format_ARGB32);
        b.box.render(&img);
        int green = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                green += img.pixelColor(x, y) == kPicture;
        QVERIFY(green >= 100);
    }
};

QTEST_MAIN(tst_TImageComboBox)
#include "image_combo_box_test.moc"
