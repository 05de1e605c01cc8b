// The main window as a desktop user meets it: every toolbar command in reach at the designed
// size and in every skin, the keyboard alone from the login to writing, saving and listing, the
// window inside a 1366 × 768 screen at scale factors 1, 1.5 and 2, and a new entry written from
// the editor's default format whatever was shown before it.
#include "window_fixture.h"

#include "app/main_form.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "skin/skin_data.h"
#include "widgets/image_combo_box.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

const QString kZhangSan = u"张三"_s;

QByteArray redSerifRecord(const QString &text)
{
    QTextDocument doc;
    QTextCharFormat format;
    format.setForeground(QColor(Qt::red));
    format.setFontFamilies({u"DejaVu Serif"_s});
    format.setFontPointSize(16);
    QTextCursor(&doc).insertText(text, format);
    return diary::makeRecord(doc, 1, 2);
}

// Whether the widget is shown and lies wholly inside the visible part of the window.
bool wholeInWindow(const QWidget *widget)
{
    if (!widget->isVisible())
        return false;
    const QRect inWindow(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
    return widget->window()->rect().contains(inWindow);
}

// The toolbar commands whose buttons are hidden or cut off, by name.
QStringList unreachableCommands(TWritePage *page)
{
    QStringList missing;
    for (QAction *action : page->ToolBar1->actions()) {
        if (action->isSeparator())
            continue;
        QWidget *button = page->ToolBar1->widgetForAction(action);
        if (!button || !wholeInWindow(button))
            missing << action->objectName();
    }
    return missing;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(f.setUp()); }
    void cleanup() { f.tearDown(); }

    void everyToolbarCommandShowsAtTheDesignedSizeInEverySkin()
    {
        f.createUser(kZhangSan, u"pw"_s);
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        QTest::mouseClick(f.form->NavBtn(3), Qt::LeftButton);
        QCOMPARE(f.page(), f.form->TabSheet1());
        QCOMPARE(f.form->centralWidget()->size(), QSize(635, 448));
        TWritePage *page = f.form->WritePage();
        for (int skin = 0; skin < 10; ++skin) {
            f.form->SkinData1()->LoadSkinFromStore(f.form->SkinStore1(), skin);
            f.form->SkinData1()->ReskinForm(f.form.get());
            QCoreApplication::processEvents();
            QVERIFY2(unreachableCommands(page).isEmpty(),
                     qPrintable(u"skin %1: %2"_s.arg(skin + 1).arg(unreachableCommands(page).join(u", "_s))));
        }
        // Wherever a caption shows (the overflow menu, the context menu) it is Chinese.
        for (QAction *action : page->ToolBar1->actions()) {
            if (!action->isSeparator())
                QVERIFY2(action->text().contains(QRegularExpression(u"[\\x{4e00}-\\x{9fff}]"_s)),
                         qPrintable(action->text()));
        }
    }

    // The keyboard alone: the password, Enter, Alt+1 to write, Ctrl+S, Alt+2 to the list,
    // Enter on the row to open it again.
    void theKeyboardAloneLogsInWritesSavesAndLists()
    {
        f.createUser(kZhangSan, u"pw"_s);
        QVERIFY(f.start());
        QComboBox *users = f.form->Panel1()->ComboBox1();
        QCOMPARE(users->currentText(), kZhangSan);
        QWidget *focus = QApplication::focusWidget();
        QCOMPARE(focus, f.form->Panel1()->MaskEdit1());
        QTest::keyClicks(focus, u"pw"_s);
        QTest::keyClick(focus, Qt::Key_Return);
        QCOMPARE(f.form->diaryPath(), kZhangSan);

        TNavButton *write = f.form->NavBtn(3);
        QCOMPARE(write->focusPolicy(), Qt::TabFocus);
        QVERIFY2(write->toolTip().contains(u"Alt+1"_s), qPrintable(write->toolTip()));
        QWidget *listFocus = QApplication::focusWidget();
        QTest::keyClick(listFocus ? listFocus : f.form.get(), Qt::Key_1, Qt::AltModifier);
        QCOMPARE(f.page(), f.form->TabSheet1());
        QTextEdit *editor = f.form->WritePage()->RichEdit1;
        QCOMPARE(QApplication::focusWidget(), editor);
        QTest::keyClicks(editor, u"rain"_s);
        QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
        QVERIFY2(f.form->SaveState()->text().startsWith(u"已保存"_s), qPrintable(f.form->SaveState()->text()));

        QTest::keyClick(editor, Qt::Key_2, Qt::AltModifier);
        QCOMPARE(f.page(), f.form->TabSheet2());
        QTreeView *rows = f.form->ListPage()->ListView1;
        QCOMPARE(f.form->ListPage()->rowCount(), 1);
        rows->setFocus();
        QTest::keyClick(rows, Qt::Key_Down);
        QTest::keyClick(rows, Qt::Key_Return);
        QCOMPARE(f.page(), f.form->TabSheet1());
        QCOMPARE(editor->toPlainText(), u"rain"_s);
        QCOMPARE(f.boxes.size(), 0);
    }

    void theWindowFitsAScreenAtEveryScaleFactor_data()
    {
        QTest::addColumn<qreal>("scale");
        QTest::newRow("scale 1") << 1.0;
        QTest::newRow("scale 1.5") << 1.5;
        QTest::newRow("scale 2") << 2.0;
    }

    // A 1366 × 768 screen with a 32-pixel panel, in the window's device independent pixels.
    void theWindowFitsAScreenAtEveryScaleFactor()
    {
        QFETCH(qreal, scale);
        const QRect available(0, 0, qFloor(1366 / scale), qFloor((768 - 32) / scale));
        f.createUser(kZhangSan, u"pw"_s);
        QVERIFY(f.start());
        f.form->fitToScreen(available);
        QCoreApplication::processEvents();
        QVERIFY2(available.contains(f.form->frameGeometry()),
                 qPrintable(u"%1,%2 %3×%4"_s.arg(f.form->x()).arg(f.form->y())
                                .arg(f.form->frameGeometry().width()).arg(f.form->frameGeometry().height())));
        if (scale == 1.0)
            QCOMPARE(f.form->centralWidget()->size(), QSize(635, 448));

        // Every page is usable at that size: the column's buttons, the login panel and the skin
        // group, the toolbar, the list.
        for (int n : {5, 6, 7})
            QVERIFY2(wholeInWindow(f.form->NavBtn(n)), qPrintable(f.form->NavBtn(n)->objectName()));
        QVERIFY(wholeInWindow(f.form->Panel1()));
        QVERIFY(wholeInWindow(f.form->GroupBox1()));
        QVERIFY(!f.form->Panel1()->geometry().intersects(f.form->GroupBox1()->geometry()));
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        for (int n : {3, 4, 8})
            QVERIFY2(wholeInWindow(f.form->NavBtn(n)), qPrintable(f.form->NavBtn(n)->objectName()));
        QTest::mouseClick(f.form->NavBtn(3), Qt::LeftButton);
        QVERIFY2(unreachableCommands(f.form->WritePage()).isEmpty(),
                 qPrintable(unreachableCommands(f.form->WritePage()).join(u", "_s)));
        QVERIFY(wholeInWindow(f.form->WritePage()->dBox2));
    }

    // Maximised, the login panel keeps its size and stands in the middle with the skin group.
    void theLoginPanelAndTheSkinGroupStayCentred()
    {
        QVERIFY(f.start());
        f.form->resize(1200, 800);
        QCoreApplication::processEvents();
        const QRect panel = f.form->Panel1()->geometry();
        const QRect group = f.form->GroupBox1()->geometry();
        const QWidget *page = f.form->TabSheet3();
        QCOMPARE(panel.size(), QSize(225, 122));
        QVERIFY(qAbs(panel.center().x() - page->width() / 2) <= 2);
        QCOMPARE(group.left(), panel.left());
        QVERIFY(group.top() > panel.bottom());
        QVERIFY(qAbs((panel.top() + group.bottom()) / 2 - page->height() / 2) <= 40);
    }

    // The help document names the commands by the captions they carry, on the write page's
    // toolbar and on the list page, and no command by a caption it does not carry.
    void theHelpNamesEveryCommandByItsCaption()
    {
        QFile file(u":/help/quillbook.html"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString help = QString::fromUtf8(file.readAll());
        QVERIFY(f.start());
        const auto caption = [](const QAction *action) {
            return QString(action->text()).remove(QRegularExpression(u"\\(&.\\)|&"_s));
        };
        QList<QAction *> commands = f.form->WritePage()->ToolBar1->actions();
        TListPage *list = f.form->ListPage();
        commands << list->See << list->Del << list->N3 << list->N4 << list->UndoDel;
        for (const QAction *action : std::as_const(commands)) {
            if (!action->isSeparator())
                QVERIFY2(help.contains(caption(action)), qPrintable(caption(action)));
        }
        for (const QString &stale : {u"“打印设置”"_s, u"“查看”"_s, u"删除后无法恢复"_s})
            QVERIFY2(!help.contains(stale), qPrintable(stale));
    }

    // After a red 16-point serif entry has been shown, today's blank entry is written and saved in
    // the editor's own default format.
    void aNewEntryStartsFromTheEditorsDefaultFormat()
    {
        f.createUser(kZhangSan, u"pw"_s, {{u"2003年10月4日"_s, redSerifRecord(u"红字"_s)}});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        QTest::mouseClick(f.form->NavBtn(4), Qt::LeftButton);
        f.form->ListPage()->selectRow(0);
        f.form->ListPage()->See->trigger();
        QTextEdit *editor = f.form->WritePage()->RichEdit1;
        QCOMPARE(editor->toPlainText(), u"红字"_s);
        editor->moveCursor(QTextCursor::End);
        QCOMPARE(editor->currentCharFormat().foreground().color(), QColor(Qt::red));

        QTest::mouseClick(f.form->NavBtn(3), Qt::LeftButton);
        QCOMPARE(f.form->WritePage()->Label3->text(), u"2003年10月5日"_s);
        QVERIFY(editor->document()->isEmpty());
        QTest::keyClicks(editor, u"new"_s);
        const QTextBlock block = editor->document()->firstBlock();
        const QTextCharFormat typed = block.begin().fragment().charFormat();
        QVERIFY(!typed.hasProperty(QTextFormat::ForegroundBrush));
        QVERIFY(!typed.hasProperty(QTextFormat::FontFamilies));
        QVERIFY(!typed.hasProperty(QTextFormat::FontPointSize));
        QCOMPARE(block.charFormat().hasProperty(QTextFormat::ForegroundBrush), false);
        QCOMPARE(editor->currentCharFormat().font().resolve(editor->document()->defaultFont()).family(),
                 editor->document()->defaultFont().family());
    }

private:
    WindowFixture f;
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
