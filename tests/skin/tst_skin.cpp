#include "platform/notice.h"
#include "skin/errors.h"
#include "skin/skin_data.h"
#include "skin/skin_store.h"

#include <QApplication>
#include <QGroupBox>
#include <QMainWindow>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStackedWidget>
#include <QTest>

namespace {

// A window with one of each thing a skin has to colour, and where to look at each.
struct Sampler {
    QMainWindow window;
    QStackedWidget *stack = nullptr;
    QGroupBox *group = nullptr;
    QPushButton *button = nullptr;

    Sampler()
    {
        auto *client = new QWidget(&window);
        window.setCentralWidget(client);
        stack = new QStackedWidget(client);
        stack->setGeometry(100, 0, 300, 300);
        auto *page = new QWidget;
        stack->addWidget(page);
        group = new QGroupBox(QStringLiteral("皮肤设置"), page);
        group->setGeometry(20, 20, 200, 180);
        button = new QPushButton(group);
        button->setGeometry(20, 60, 80, 30);
        window.resize(400, 300);
    }

    // window, page, group, button
    QList<QRgb> colours()
    {
        const QImage image = window.grab().toImage();
        return {image.pixel(10, 10), image.pixel(105, 5), image.pixel(100 + 20 + 150, 20 + 150),
                image.pixel(100 + 20 + 20 + 40, 20 + 60 + 15)};
    }
};

QRgb packageColour(const QByteArray &package, const char *name)
{
    const QRegularExpression re(QStringLiteral("\\n%1=(#[0-9a-f]{6})").arg(QLatin1String(name)));
    const QRegularExpressionMatch m = re.match(QString::fromUtf8(package));
    return m.hasMatch() ? QColor::fromString(m.captured(1)).rgb() : 0;
}

QStringList g_styleWarnings;

void collectStyleWarnings(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("style sheet"), Qt::CaseInsensitive)
        || message.contains(QLatin1String("stylesheet"), Qt::CaseInsensitive))
        g_styleWarnings.append(message);
}

} // namespace

class TestSkin : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        store = new TSkinStore(this);
        AddStoredSkins(*store);
        data = new TSkinData(this);
    }
    void cleanup()
    {
        delete data;
        delete store;
        qApp->setStyleSheet(QString());
    }

    void theStoreHoldsTenNamedSkinsAndRefusesADuplicateName()
    {
        QCOMPARE(store->Count(), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(store->Item(i).Name, QStringLiteral("SkinItem%1").arg(i));
        try {
            store->Add(QStringLiteral("skinitem3"), QByteArray());
            QFAIL("a second item of that name was accepted");
        } catch (const EDuplicateName &e) {
            QCOMPARE(e.message(), QStringLiteral("The name skinitem3 is already used."));
        }
        QCOMPARE(store->Count(), 10);
    }

    void eachSkinColoursWindowPageGroupAndButtons_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 10; ++i)
            QTest::addRow("skin %d", i) << i;
    }
    void eachSkinColoursWindowPageGroupAndButtons()
    {
        QFETCH(int, index);
        Sampler sampler;
        sampler.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sampler.window));
        g_styleWarnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectStyleWarnings);
        data->LoadSkinFromStore(store, index);
        data->ReskinForm(&sampler.window);
        const QList<QRgb> seen = sampler.colours();
        qInstallMessageHandler(previous);

        QCOMPARE(g_styleWarnings, QStringList());
        QCOMPARE(data->currentName(), QStringLiteral("SkinItem%1").arg(index));
        const QByteArray package = store->Item(index).DataStream;
        const QList<QRgb> expected = {packageColour(package, "Window"), packageColour(package, "Page"),
                                      packageColour(package, "Group"), packageColour(package, "Button")};
        QCOMPARE(seen, expected);
    }

    void theTenSkinsDifferInEveryColourThatMatters()
    {
        QList<QSet<QRgb>> distinct(4);
        Sampler sampler;
        sampler.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sampler.window));
        for (int i = 0; i < 10; ++i) {
            data->LoadSkinFromStore(store, i);
            const QList<QRgb> seen = sampler.colours();
            for (int k = 0; k < 4; ++k)
                distinct[k].insert(seen[k]);
        }
        for (int k = 0; k < 4; ++k)
            QCOMPARE(distinct[k].size(), 10);
    }

    void anIndexBeyondTheStoreDoesNothingAndANegativeOneFails()
    {
        data->LoadSkinFromStore(store, 2);
        const QString sheet = qApp->styleSheet();
        data->LoadSkinFromStore(store, 10);
        data->LoadSkinFromStore(store, 12);
        QCOMPARE(data->currentName(), QStringLiteral("SkinItem2"));
        QCOMPARE(qApp->styleSheet(), sheet);
        try {
            data->LoadSkinFromStore(store, -1);
            QFAIL("a negative index was accepted");
        } catch (const EListError &e) {
            QCOMPARE(e.message(), QStringLiteral("List index out of bounds (-1)"));
        }
        QCOMPARE(data->currentName(), QStringLiteral("SkinItem2"));
    }

    void aPackageOfAnotherVersionIsReportedAndTheSkinStays()
    {
        data->LoadSkinFromStore(store, 1);
        store->Add(QStringLiteral("Old"), QByteArray("Version=19000\nWindow=#000000\n"));
        QStringList notices;
        notice::setHandler([&](notice::Kind, const QString &, const QString &text) { notices << text; });
        data->LoadSkinFromStore(store, 10);
        notice::setHandler({});
        QCOMPARE(notices, QStringList{QStringLiteral("This is Older Skin File\rPlease update to new version !")});
        QCOMPARE(data->currentName(), QStringLiteral("SkinItem1"));
    }

    void aDamagedPackageIsRefusedWithTheValueItLacks_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("message");
        QTest::addRow("a colour is missing") << QByteArray("\nPage=") << QByteArray("\nUnused=")
            << QStringLiteral("The skin package has no value \"Page\"");
        QTest::addRow("a colour is not a colour") << QByteArray("\nWindow=#") << QByteArray("\nWindow=#zz")
            << QStringLiteral("The skin package's colour Window is not a colour: \"#zzf5d5de\"");
    }
    void aDamagedPackageIsRefusedWithTheValueItLacks()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, message);
        const QByteArray package = QByteArray(store->Item(3).DataStream).replace(from, to);
        store->Add(QStringLiteral("Damaged"), package);
        data->LoadSkinFromStore(store, 0);
        try {
            data->LoadSkinFromStore(store, 10);
            QFAIL("the damaged package was accepted");
        } catch (const ESkinPackageError &e) {
            QCOMPARE(e.message(), message);
        }
        QCOMPARE(data->currentName(), QStringLiteral("SkinItem0"));
    }

private:
    TSkinStore *store = nullptr;
    TSkinData *data = nullptr;
};

QTEST_MAIN(TestSkin)
#include "tst_skin.moc"
