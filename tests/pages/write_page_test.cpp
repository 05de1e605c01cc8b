#include "pages/write_page.h"
#include "pages/rich_format.h"
#include "richtext/format_mapping.h"
#include "support/test_support.h"
#include "widgets/image_combo_box.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// A window like the main window: the write page and another page in a stack, and a field
// outside both.
struct Window {
    QWidget window;
    QStackedWidget *stack;
    TWritePage *page;
    QLineEdit *otherPage;
    QLineEdit *outside;

    Window()
    {
        auto *layout = new QVBoxLayout(&window);
        outside = new QLineEdit(&window);
        layout->addWidget(outside);
        stack = new QStackedWidget(&window);
        layout->addWidget(stack);
        page = new TWritePage;
        stack->addWidget(page);
        otherPage = new QLineEdit;
        stack->addWidget(otherPage);
        window.resize(600, 520);
        window.show();
        window.activateWindow();
    }

    QTextEdit *editor() const { return page->RichEdit1; }

    void select(int from, int to)
    {
        QTextCursor c(editor()->document());
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        editor()->setTextCursor(c);
        page->UpdateCommands();
    }
};

QString sequence(const QList<QAction *> &actions)
{
    QStringList names;
    for (const QAction *a : actions)
        names << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
    return names.join(QLatin1Char(' '));
}

// Runs the event loop until it has nothing left to do and would wait.
void runUntilIdle()
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
}

qreal pointsOf(const QFont &font, int dpi)
{
    return font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / dpi;
}

} // namespace

class WritePageTest : public QObject
{
    Q_OBJECT

private slots:
    void controlsAreLaidOutAsDesigned()
    {
        TWritePage page;
        page.resize(600, 500);
        page.show();
        QCOMPARE(page.Label3->font().family(), QStringLiteral("宋体"));
        QCOMPARE(page.Label3->font().pixelSize(), 19);
        QCOMPARE(page.Label3->palette().color(QPalette::WindowText), QColor(255, 0, 255));
        QCOMPARE(page.Label1->text(), QStringLiteral("天气："));
        QCOMPARE(page.Label1->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(page.Label2->text(), QStringLiteral("情感："));
        QCOMPARE(page.Label2->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        // Designed for a page 539 wide, the weather and mood follow its right edge.
        QCOMPARE(page.dBox1->geometry(), QRect(315 + 61, 3, 80, 24));
        QCOMPARE(page.dBox2->geometry(), QRect(440 + 61, 3, 89, 24));
        QCOMPARE(page.Label3->x(), 2);
        QCOMPARE(page.dBox1->count(), 4);
        QCOMPARE(page.dBox2->count(), 8);
        QCOMPARE(page.dBox1->maxVisibleItems(), 4);
        QVERIFY(!page.Image1->pixmap().isNull());
        QCOMPARE(page.Panel1->geometry(), QRect(0, 40, 598, 33));
        // The editor stretches with the page, from y = 75 to two pixels above the bottom.
        QCOMPARE(page.RichEdit1->geometry(), QRect(0, 75, 600, 423));
        QCOMPARE(page.RichEdit1->document()->defaultFont().family(), QStringLiteral("宋体"));
        QCOMPARE(page.RichEdit1->document()->defaultFont().pixelSize(), 14);
        QCOMPARE(page.RichEdit1->palette().color(QPalette::Text), QColor(0, 0, 255));
        QCOMPARE(page.RichEdit1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(page.RichEdit1->palette().color(QPalette::Inactive, QPalette::Highlight),
                 page.RichEdit1->palette().color(QPalette::Active, QPalette::Highlight));
        page.resize(539, 438);
        QCOMPARE(page.dBox2->geometry(), QRect(440, 3, 89, 24));
    }

    void commandsHaveTheirTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QKeySequence>("shortcut");
        const auto row = [](const char *name, const char *caption, const char *hint,
                            QKeySequence shortcut = {}) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(caption)
                                << QString::fromUtf8(hint) << shortcut;
        };
        row("Action1", "保存(&S)", "保存", QKeySequence(Qt::CTRL | Qt::Key_S));
        row("EditUndo1", "撤消(&U)", "撤消", QKeySequence(Qt::CTRL | Qt::Key_Z));
        row("EditCut1", "剪切(&t)", "剪切", QKeySequence(Qt::CTRL | Qt::Key_X));
        row("EditCopy1", "复制(&C)", "复制", QKeySequence(Qt::CTRL | Qt::Key_C));
        row("EditPaste1", "粘贴(&P)", "粘贴", QKeySequence(Qt::CTRL | Qt::Key_V));
        row("EditSelectAll1", "全选(&A)", "全选", QKeySequence(Qt::CTRL | Qt::Key_A));
        row("EditDelete1", "删除(&D)", "删除", QKeySequence(Qt::Key_Delete));
        row("RichEditAlignLeft1", "左对齐(&L)", "左对齐");
        row("RichEditAlignCenter1", "居中对齐(&C)", "居中对齐");
        row("RichEditAlignRight1", "右对齐(&R)", "右对齐");
        row("RichEditBold1", "加粗(&B)", "加粗", QKeySequence(Qt::CTRL | Qt::Key_B));
        row("RichEditItalic1", "斜体(&I)", "斜体", QKeySequence(Qt::CTRL | Qt::Key_I));
        row("RichEditUnderline1", "下划线(&U)", "下划线", QKeySequence(Qt::CTRL | Qt::Key_U));
        row("RichEditStrikeOut1", "删除线(&S)", "删除线");
        row("RichEditBullets1", "项目符号(&B)", "项目符号");
        row("RichEditFont", "字体", "设置字体");
        row("FontAdd", "字体加大", "字体加大");
        row("FontDec", "字体减小", "字体减小");
        row("Print", "打印", "打印日记");
        row("PrintSet", "打印纸设置(&A)", "打印纸张设置");
    }
    void commandsHaveTheirTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, hint);
        QFETCH(QKeySequence, shortcut);
        TWritePage page;
        auto *action = page.findChild<QAction *>(name);
        QVERIFY(action);
        QCOMPARE(action->text(), caption);
        QCOMPARE(action->toolTip(), hint);
        QCOMPARE(action->shortcut(), shortcut);
        QVERIFY(!action->icon().isNull());
    }

    void toolbarAndContextMenuHoldTheCommandsInOrder()
    {
        TWritePage page;
        QCOMPARE(sequence(page.ToolBar1->actions()),
                 QStringLiteral("Action1 | EditUndo1 EditCut1 EditCopy1 EditPaste1 EditDelete1 | "
                                "RichEditAlignLeft1 RichEditAlignCenter1 RichEditAlignRight1 | "
                                "RichEditBold1 RichEditItalic1 RichEditUnderline1 RichEditStrikeOut1 "
                                "RichEditBullets1 | RichEditFont FontAdd FontDec | Print PrintSet | "
                                "InsertPicture"));
        QCOMPARE(page.ToolBar1->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QCOMPARE(sequence(page.PopupMenu1->actions()),
                 QStringLiteral("EditUndo1 | EditCut1 EditCopy1 EditPaste1 | EditSelectAll1 EditDelete1 | "
                                "InsertPicture PictureSize"));
    }

    void editingCommandsFollowTheFocusedField()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        TWritePage *page = w.page;
        w.editor()->setFocus();
        QTest::keyClicks(w.editor(), QStringLiteral("abc"));
        w.select(3, 3);
        QVERIFY(page->EditUndo1->isEnabled());
        QVERIFY(!page->EditCut1->isEnabled());
        QVERIFY(!page->EditCopy1->isEnabled());
        QVERIFY(!page->EditDelete1->isEnabled());
        QVERIFY(page->EditSelectAll1->isEnabled());

        w.select(0, 2);
        QVERIFY(page->EditCut1->isEnabled());
        QVERIFY(page->EditCopy1->isEnabled());
        QVERIFY(page->EditDelete1->isEnabled());

        QGuiApplication::clipboard()->clear();
        page->UpdateCommands();
        QVERIFY(!page->EditPaste1->isEnabled());
        QGuiApplication::clipboard()->setText(QStringLiteral("剪贴板"));
        page->UpdateCommands();
        QVERIFY(page->EditPaste1->isEnabled());

        // Another field of the window: the editing commands act on it, formatting is off.
        w.outside->setText(QStringLiteral("外面"));
        w.outside->setFocus();
        w.outside->setSelection(0, 1);
        page->UpdateCommands();
        QVERIFY(page->EditCopy1->isEnabled());
        QVERIFY(!page->RichEditBold1->isEnabled());
        QVERIFY(!page->RichEditAlignLeft1->isEnabled());
        page->EditDelete1->trigger();
        QCOMPARE(w.outside->text(), QStringLiteral("面"));
        QCOMPARE(w.editor()->toPlainText(), QStringLiteral("abc"));

        // No text field focused: all of them off.
        page->dBox1->setFocus();
        page->UpdateCommands();
        for (QAction *a : {page->EditUndo1, page->EditCut1, page->EditCopy1, page->EditPaste1,
                           page->EditDelete1, page->EditSelectAll1, page->RichEditBold1})
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        for (QAction *a : {page->Action1, page->RichEditFont, page->FontAdd, page->FontDec,
                           page->Print, page->PrintSet})
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    }

    void statesAreRefreshedWhenIdle()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        w.editor()->setFocus();
        w.editor()->setPlainText(QStringLiteral("空闲时刷新"));
        runUntilIdle();
        QVERIFY(!w.page->EditCopy1->isEnabled());
        QTextCursor c = w.editor()->textCursor();
        c.select(QTextCursor::Document);
        w.editor()->setTextCursor(c);
        QVERIFY(!w.page->EditCopy1->isEnabled());
        runUntilIdle();
        QVERIFY(w.page->EditCopy1->isEnabled());
    }

    void characterStylesAreCheckedAndToggled_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("tag");
        QTest::newRow("bold") << QStringLiteral("RichEditBold1") << QStringLiteral("b");
        QTest::newRow("italic") << QStringLiteral("RichEditItalic1") << QStringLiteral("i");
        QTest::newRow("underline") << QStringLiteral("RichEditUnderline1") << QStringLiteral("u");
        QTest::newRow("strike-out") << QStringLiteral("RichEditStrikeOut1") << QStringLiteral("s");
    }
    void characterStylesAreCheckedAndToggled()
    {
        QFETCH(QString, action);
        QFETCH(QString, tag);
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QAction *style = w.page->findChild<QAction *>(action);
        w.editor()->setFocus();
        w.editor()->setHtml(QStringLiteral("<p><%1>有</%1>无</p>").arg(tag));
        w.select(0, 1);
        QVERIFY(style->isChecked());
        w.select(1, 2);
        QVERIFY(!style->isChecked());
        // A selection that is only partly styled does not count as styled; toggling styles all
        // of it, and toggling again clears all of it.
        w.select(0, 2);
        QVERIFY(!style->isChecked());
        style->trigger();
        w.select(0, 2);
        QVERIFY(style->isChecked());
        w.select(1, 2);
        QVERIFY(style->isChecked());
        w.select(0, 2);
        style->trigger();
        w.select(0, 2);
        QVERIFY(!style->isChecked());
        w.select(0, 1);
        QVERIFY(!style->isChecked());
    }

    void paragraphCommandsAreCheckedAndApplied()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        TWritePage *page = w.page;
        w.editor()->setFocus();
        w.editor()->setHtml(QStringLiteral("<p align=\"center\">一</p><p>二</p>"));
        w.select(0, 0);
        QVERIFY(page->RichEditAlignCenter1->isChecked());
        QVERIFY(!page->RichEditAlignLeft1->isChecked());
        QVERIFY(!page->RichEditAlignRight1->isChecked());
        w.select(3, 3);
        QVERIFY(page->RichEditAlignLeft1->isChecked());
        page->RichEditAlignRight1->trigger();
        QCOMPARE(w.editor()->document()->lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                 Qt::AlignRight);

        w.select(0, 3);
        QVERIFY(!page->RichEditBullets1->isChecked());
        page->RichEditBullets1->trigger();
        w.select(0, 3);
        QVERIFY(page->RichEditBullets1->isChecked());
        QVERIFY(w.editor()->document()->firstBlock().textList());
        QVERIFY(w.editor()->document()->lastBlock().textList());
        page->RichEditBullets1->trigger();
        w.select(0, 3);
        QVERIFY(!page->RichEditBullets1->isChecked());
        QVERIFY(!w.editor()->document()->firstBlock().textList());
        QVERIFY(!w.editor()->document()->lastBlock().textList());
    }

    // Over paragraphs of which some are bulleted, some in a list of squares and some plain, the
    // command gives one kind: all of them in one bullet list; once more, none in a list.
    void bulletsOverAMixedSelectionGiveOneKind()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        TWritePage *page = w.page;
        w.editor()->setFocus();
        w.editor()->setHtml(QStringLiteral("<ul type=\"square\"><li>一</li></ul><p>二</p><ul><li>三</li></ul>"));
        QTextDocument *doc = w.editor()->document();
        QCOMPARE(doc->blockCount(), 3);
        QCOMPARE(doc->firstBlock().textList()->format().style(), QTextListFormat::ListSquare);
        w.select(0, doc->characterCount() - 1);
        page->RichEditBullets1->trigger();
        QTextList *list = doc->firstBlock().textList();
        QVERIFY(list);
        QCOMPARE(list->format().style(), QTextListFormat::ListDisc);
        for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next())
            QCOMPARE(block.textList(), list);
        page->RichEditBullets1->trigger();
        for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next())
            QVERIFY(!block.textList());
    }

    // 字体加大 and 字体减小 change the selection, or the word at the caret, and nothing else: the
    // default font (and with it every other line, later entries and exports) stays; the font
    // dialog still opens on the default font.
    void largerAndSmallerChangeOnlyTheSelectionOrTheWordAtTheCaret()
    {
        TWritePage page;
        QTextEdit *editor = page.RichEdit1;
        const int dpi = editor->logicalDpiY();
        const QFont defaultFont = editor->document()->defaultFont();
        const qreal start = pointsOf(defaultFont, dpi);
        const auto sizeAt = [&](int position) {
            QTextCursor c(editor->document());
            c.setPosition(position + 1);
            return richtext::shownPointSize(c.charFormat(), rich_format::inPoints(defaultFont, dpi));
        };
        editor->setPlainText(QStringLiteral("一二三四\nhello world"));
        QTextCursor c(editor->document());
        c.setPosition(1);
        c.setPosition(3, QTextCursor::KeepAnchor);
        editor->setTextCursor(c);
        for (int i = 0; i < 3; ++i)
            page.FontAdd->trigger();
        page.FontDec->trigger();
        QCOMPARE(QList<qreal>({sizeAt(0), sizeAt(1), sizeAt(2), sizeAt(3), sizeAt(5)}),
                 QList<qreal>({start, start + 2, start + 2, start, start}));
        QCOMPARE(editor->textCursor().selectionStart(), 1);
        QCOMPARE(editor->textCursor().selectionEnd(), 3);
        QCOMPARE(editor->document()->defaultFont(), defaultFont);

        c.setPosition(13);   // inside "world"
        editor->setTextCursor(c);
        page.FontAdd->trigger();
        QCOMPARE(QList<qreal>({sizeAt(5), sizeAt(9), sizeAt(11), sizeAt(15)}),
                 QList<qreal>({start, start, start + 1, start + 1}));
        QCOMPARE(editor->textCursor().position(), 13);
        editor->undo();
        QCOMPARE(sizeAt(11), start);

        QFont loaded;
        page.FontDialog1.setRunner([&](QFont &font, QColor &) {
            loaded = font;
            return false;
        });
        page.RichEditFont->trigger();
        QCOMPARE(loaded.pointSizeF(), start);
    }

    // The font chosen in the dialog goes onto the selection in full, and the next printout's
    // heading is made of it at 12 points in red, with the date, weather and mood of the page.
    void chosenFontAppliesToTheSelectionAndTheHeading()
    {
        QTemporaryDir dir;
        TWritePage page;
        page.Label3->setText(QStringLiteral("2003年9月26日"));
        page.dBox1->setCurrentIndex(3);
        page.dBox2->setCurrentIndex(4);
        page.RichEdit1->setPlainText(QStringLiteral("选中的字"));
        QTextCursor c(page.RichEdit1->document());
        c.setPosition(0);
        c.setPosition(2, QTextCursor::KeepAnchor);
        page.RichEdit1->setTextCursor(c);
        page.FontDialog1.setRunner([](QFont &font, QColor &colour) {
            font = QFont(QStringLiteral("宋体"), 20);
            font.setBold(true);
            font.setUnderline(true);
            colour = QColor(0, 128, 0);
            return true;
        });
        page.RichEdit1->setFocus();
        page.RichEditFont->trigger();
        const QTextCharFormat chosen = page.RichEdit1->document()->firstBlock().begin().fragment().charFormat();
        QCOMPARE(chosen.fontPointSize(), 20.0);
        QCOMPARE(chosen.fontWeight(), int(QFont::Bold));
        QVERIFY(chosen.fontUnderline());
        QCOMPARE(chosen.foreground().color(), QColor(0, 128, 0));
        QCOMPARE(page.RichEdit1->toPlainText(), QStringLiteral("选中的字"));

        const QString before = page.RichEdit1->toHtml();
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString file = dir.filePath(QStringLiteral("p.pdf"));
        printer.setOutputFileName(file);
        page.PrintOpenEntry(&printer);
        QCOMPARE(page.RichEdit1->toHtml(), before);
        const auto text = testing_support::run(testing_support::pdftotextProgram(),
                                               {QStringLiteral("-layout"), file, QStringLiteral("-")});
        const QString first = QString::fromUtf8(text.out).section(QLatin1Char('\n'), 0, 0).trimmed();
        QVERIFY2(QRegularExpression(QStringLiteral("^2003年9月26日 +雪 +想法$")).match(first).hasMatch(),
                 qPrintable(first));
        QCOMPARE(page.FontDialog1.Font().family(), QStringLiteral("宋体"));
        QCOMPARE(page.FontDialog1.Font().pointSize(), 12);
        QVERIFY(page.FontDialog1.Font().bold());
        QCOMPARE(page.FontDialog1.Color(), QColor(Qt::red));
    }

    // OK on the dialog as shown keeps a font that is not installed and a fractional size.
    void fontDialogKeepsWhatTheUserLeftAlone()
    {
        FontDialog dialog;
        QFont font(QStringLiteral("宋体"));
        font.setPointSizeF(10.5);
        font.setItalic(true);
        dialog.setFont(font);
        dialog.setColor(QColor(0, 0, 255));
        QTimer::singleShot(0, [] {
            auto *buttons = QApplication::activeModalWidget()->findChild<QDialogButtonBox *>();
            buttons->button(QDialogButtonBox::Ok)->click();
        });
        QVERIFY(dialog.Execute(nullptr));
        QCOMPARE(dialog.Font().family(), QStringLiteral("宋体"));
        QCOMPARE(dialog.Font().pointSizeF(), 10.5);
        QVERIFY(dialog.Font().italic());
        QCOMPARE(dialog.Color(), QColor(0, 0, 255));
    }

    void choosingAMoodReturnsTheFocusToTheEditor_data()
    {
        QTest::addColumn<bool>("mood");
        QTest::newRow("mood: back to the editor") << true;
        QTest::newRow("weather: stays in the box") << false;
    }
    void choosingAMoodReturnsTheFocusToTheEditor()
    {
        QFETCH(bool, mood);
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        TImageComboBox *box = mood ? w.page->dBox2 : w.page->dBox1;
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), mood ? static_cast<QWidget *>(w.editor()) : box);
    }

    void showingThePageFocusesTheEditor()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        w.stack->setCurrentIndex(1);
        w.outside->setFocus();
        w.stack->setCurrentIndex(0);
        QCOMPARE(QApplication::focusWidget(), w.editor());
    }

    void leavingThePageAsksToSave()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QSignalSpy left(w.page, &TWritePage::focusLeftPage);
        w.editor()->setFocus();
        w.page->dBox1->setFocus();   // within the page
        QCOMPARE(left.count(), 0);

        QDialog dialog(&w.window);   // a dialog does not leave the page
        auto *field = new QLineEdit(&dialog);
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        field->setFocus();
        dialog.hide();
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QCOMPARE(left.count(), 0);

        w.editor()->setFocus();
        w.stack->setCurrentIndex(1);   // another page comes forward
        QCOMPARE(left.count(), 1);

        w.stack->setCurrentIndex(0);
        w.editor()->setFocus();
        w.outside->setFocus();   // a control of the window outside the page
        QCOMPARE(left.count(), 2);

        // The window losing the activation and getting it back does not leave the page.
        w.editor()->setFocus();
        w.editor()->clearFocus();
        w.editor()->setFocus();
        QCOMPARE(left.count(), 2);

        // A page with nothing to focus comes forward: the focus goes nowhere.
        auto *empty = new QWidget;
        w.stack->addWidget(empty);
        w.stack->setCurrentWidget(empty);
        QCOMPARE(left.count(), 3);
    }

    void shortcutsActOnThePage()
    {
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        QSignalSpy save(w.page, &TWritePage::saveRequested);
        w.editor()->setFocus();
        QTest::keyClick(w.editor(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(save.count(), 1);
        w.editor()->setPlainText(QStringLiteral("加粗"));
        w.select(0, 2);
        QTest::keyClick(w.editor(), Qt::Key_B, Qt::ControlModifier);
        w.select(0, 2);
        QVERIFY(w.page->RichEditBold1->isChecked());
        // Outside the page its shortcuts do nothing.
        w.outside->setFocus();
        QTest::keyClick(w.outside, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(save.count(), 1);
    }
};

QTEST_MAIN(WritePageTest)
#include "write_page_test.moc"
