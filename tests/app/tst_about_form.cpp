#include "app/about_form.h"
#include "app/main_form.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "widgets/explode_effect.h"
#include "widgets/link_label.h"
#include "widgets/nav_button.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kMagenta(255, 0, 255);

// Pixels of the area drawn in the colour, or nearly so where the text's edges are smoothed.
int pixelsOf(const QImage &image, const QRect &area, const QColor &colour)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor p = image.pixelColor(x, y);
            count += qAbs(p.red() - colour.red()) + qAbs(p.green() - colour.green())
                         + qAbs(p.blue() - colour.blue())
                     < 90;
        }
    }
    return count;
}

// Ends a modal loop that a fault left running, so that the test fails instead of hanging.
class Watchdog
{
public:
    explicit Watchdog(QDialog *box)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, box, [this, box] {
            m_fired = true;
            // Only a visible box ends its loop when it is closed.
            box->show();
            box->QDialog::done(QDialog::Rejected);
        });
        m_timer.start(20000);
    }
    bool fired() const { return m_fired; }

private:
    QTimer m_timer;
    bool m_fired = false;
};

// The box's place inside its window: one pixel of border on every side.
QRect inBox(int x, int y, int w, int h) { return QRect(x + 1, y + 1, w, h); }

} // namespace

class TestAboutForm : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        ini::setSettingsPath(m_dir->filePath(QStringLiteral("main.ini")));
        m_boxes = 0;
        msgbox::setInterceptor([this](const msgbox::Shown &) {
            ++m_boxes;
            return QMessageBox::Ok;
        });
    }
    void cleanup()
    {
        m_form.reset();
        msgbox::setInterceptor({});
    }

    void isAFixedBoxWithTitleButtonAndEffect()
    {
        TAboutForm box;
        QCOMPARE(box.windowTitle(), QStringLiteral("关于　《羽书手札》"));
        QCOMPARE(box.minimumSize(), QSize(240, 218));
        QCOMPARE(box.maximumSize(), QSize(240, 218));
        const Qt::WindowFlags flags = box.windowFlags();
        QVERIFY(flags.testFlags(Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint));
        QVERIFY(!(flags & (Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint)));
        QVERIFY(!box.windowIcon().pixmap(32, 32).isNull());
        QCOMPARE(box.font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(box.font().pixelSize(), 11);

        QLabel *title = box.Label1();
        QCOMPARE(title->text(), QStringLiteral("羽书手札"));
        QCOMPARE(title->geometry().topLeft(), QPoint(1, 1));
        QCOMPARE(title->width(), 238);
        QCOMPARE(title->font().family(), QStringLiteral("宋体"));
        QCOMPARE(title->font().pixelSize(), 29);
        QCOMPARE(title->palette().color(QPalette::WindowText), kRed);
        QVERIFY(title->alignment().testFlag(Qt::AlignHCenter));

        QPushButton *ok = box.Button1();
        QCOMPARE(ok->text(), QStringLiteral("确定(&O)"));
        QVERIFY(ok->isDefault());
        QCOMPARE(ok->size(), QSize(75, 25));
        QCOMPARE(ok->geometry().center().x(), box.rect().center().x());
        QVERIFY(ok->geometry().top() > box.LinkLabel1()->geometry().bottom());
        QVERIFY(ok->geometry().bottom() < 218 - 1);

        const TExplodeEffect *e = box.ExplodeEffect1();
        QCOMPARE(QList<int>({e->Steps(), int(e->ShowType()), int(e->ExplodeType()), e->SourceLeft(),
                             e->SourceTop(), e->SourceWidth(), e->SourceHeight()}),
                 QList<int>({100, int(TShowType::stShow), int(TExplodeType::etHollow), 0, 0, 0, 0}));
    }

    void linesSitAtTheirPlacesInTheirColours_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("link");
        QTest::newRow("the edition") << QStringLiteral("Label2") << inBox(57, 48, 108, 17) << kBlue
                                     << QStringLiteral("(2003版)") << false;
        QTest::newRow("the licence line")
            << QStringLiteral("LinkLabel1") << inBox(7, 72, 209, 17) << kMagenta
            << QStringLiteral("自由软件：GNU GPL 第3版或更新版本") << false;
    }

    void linesSitAtTheirPlacesInTheirColours()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QColor, colour);
        QFETCH(QString, text);
        QFETCH(bool, link);
        TAboutForm box;
        auto *label = box.findChild<QLabel *>(name);
        QVERIFY(label);
        QCOMPARE(label->geometry(), geometry);
        QCOMPARE(label->palette().color(QPalette::WindowText), colour);
        QCOMPARE(label->text(), text);
        QVERIFY(label->alignment().testFlag(Qt::AlignHCenter));
        QVERIFY(!label->autoFillBackground());
        QCOMPARE(label->font().underline(), link);

        auto *linkLabel = qobject_cast<TLinkLabel *>(label);
        QCOMPARE(linkLabel && linkLabel->LinkType(), link);
        if (link) {
            QCOMPARE(linkLabel->AboveColor(), kRed);
            QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
        }
    }

    void opensCentredOnTheScreenEveryTime()
    {
        QWidget owner;
        owner.setGeometry(10, 20, 300, 200);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        auto *box = new TAboutForm(&owner);
        const QPoint centre = box->screen()->availableGeometry().center();
        for (int round = 0; round < 2; ++round) {
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box));
            QVERIFY(qAbs(box->frameGeometry().center().x() - centre.x()) <= 1);
            QVERIFY(qAbs(box->frameGeometry().center().y() - centre.y()) <= 1);
            box->hide();
            box->move(3, 4);
        }
    }

    void enterClosesTheBoxAtOnce_data()
    {
        QTest::addColumn<bool>("waitUntilOpen");
        QTest::newRow("pressed while the box is still opening") << false;
        QTest::newRow("pressed once the box is open") << true;
    }

    void enterClosesTheBoxAtOnce()
    {
        QFETCH(bool, waitUntilOpen);
        TAboutForm box;
        bool pressed = false;
        std::function<void()> press = [&] {
            if (waitUntilOpen && QApplication::activeModalWidget() != &box) {
                QTimer::singleShot(0, &box, press);
                return;
            }
            pressed = true;
            QTest::keyClick(&box, Qt::Key_Return);
        };
        QTimer::singleShot(0, &box, press);
        const Watchdog watchdog(&box);
        box.exec();
        QVERIFY(pressed);
        QVERIFY(!watchdog.fired());
        QVERIFY(!box.isVisible());
    }

    // No address that leads nowhere: the box has no links, and no text names a placeholder.
    void theBoxOffersNoPlaceholderAddress()
    {
        TAboutForm box;
        for (const QLabel *label : box.findChildren<QLabel *>())
            QVERIFY2(!label->text().contains(QStringLiteral("example")) && !label->text().contains(QStringLiteral("http")),
                     qPrintable(label->text()));
        for (const TLinkLabel *label : box.findChildren<TLinkLabel *>()) {
            QVERIFY2(!label->LinkType(), qPrintable(label->objectName()));
            QVERIFY(!label->text().contains(QStringLiteral("example")));
        }
    }

    void theSkinLeavesTheColoursAlone()
    {
        // A real main window applies its stored skin to every window of the program.
        startMainWindow();
        TAboutForm *box = m_form->AboutForm1();
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box));
        const QImage picture = box->grab().toImage();
        const QString shot = qEnvironmentVariable("QB_ABOUT_SHOT");
        if (!shot.isEmpty())
            QVERIFY(picture.save(shot));
        QVERIFY(pixelsOf(picture, box->Label1()->geometry(), kRed) > 20);
        QVERIFY(pixelsOf(picture, box->Label2()->geometry(), kBlue) > 5);
        QVERIFY(pixelsOf(picture, box->LinkLabel1()->geometry(), kMagenta) > 5);
        box->close();
    }

    void navBtn7ShowsTheSameBoxModallyEachTime()
    {
        startMainWindow();
        TAboutForm *box = m_form->AboutForm1();
        QVERIFY(box);
        QCOMPARE(box->parent(), m_form.get());
        for (int round = 0; round < 2; ++round) {
            bool shownModally = false;
            QTimer::singleShot(0, box, [&] {
                shownModally = box->isVisible() && box->isModal();
                box->accept();
            });
            const Watchdog watchdog(box);
            QTest::mouseClick(m_form->NavBtn(7), Qt::LeftButton);
            QVERIFY(!watchdog.fired());
            QVERIFY(shownModally);
            QVERIFY(!box->isVisible());
            QCOMPARE(m_form->AboutForm1(), box);
        }
        QCOMPARE(m_boxes, 0);
    }

private:
    void startMainWindow()
    {
        m_form = std::make_unique<TForm1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    int m_boxes = 0;
    std::unique_ptr<TForm1> m_form;
};

QTEST_MAIN(TestAboutForm)
#include "tst_about_form.moc"
