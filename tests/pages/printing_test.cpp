#include "pages/page_errors.h"
#include "pages/printing.h"
#include "platform/message_box.h"
#include "support/test_support.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QFontDatabase>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>

namespace {

const printing::Heading kHeading{QStringLiteral("2003年9月26日"), QStringLiteral("　雪"),
                                 QStringLiteral("　想法")};
const QString kHeadingLine = QStringLiteral("2003年9月26日　雪  　想法");

QFont dialogFont()
{
    return QFont(QStringLiteral("MS Sans Serif"), 8);
}

// An editor as the write page has it: blue text by default.
struct Editor {
    QTextEdit edit;

    explicit Editor(const QString &html = {})
    {
        QPalette p = edit.palette();
        p.setColor(QPalette::Text, Qt::blue);
        edit.setPalette(p);
        QFont f(QStringLiteral("宋体"));
        f.setPixelSize(14);
        edit.setFont(f);
        edit.resize(400, 300);
        if (!html.isEmpty())
            edit.setHtml(html);
        // The caret somewhere in the middle with a selection, so that moving it shows.
        QTextCursor c(edit.document());
        c.movePosition(QTextCursor::End);
        c.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, 1);
        edit.setTextCursor(c);
    }
};

std::unique_ptr<QPrinter> pdfPrinter(const QString &file)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(file);
    return printer;
}

QString pdfText(const QString &file, bool layout)
{
    QStringList args;
    if (layout)
        args << QStringLiteral("-layout");
    args << file << QStringLiteral("-");
    const auto r = testing_support::run(testing_support::pdftotextProgram(), args);
    return r.exitCode == 0 ? QString::fromUtf8(r.out) : QString();
}

QString pdfInfo(const QString &file, const QString &field)
{
    const QString program = QFileInfo(testing_support::pdftotextProgram()).absolutePath()
                            + QStringLiteral("/pdfinfo");
    const auto r = testing_support::run(program, {file});
    const QRegularExpression line(QStringLiteral("^%1:\\s*(.*)$").arg(field),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(r.out)).captured(1).trimmed();
}

bool isRed(QColor c)
{
    return c.red() > 200 && c.green() < 80 && c.blue() < 80;
}

int redPixels(const QImage &image, int fromY, int toY)
{
    int n = 0;
    for (int y = fromY; y < toY; ++y)
        for (int x = 0; x < image.width(); ++x)
            n += isRed(image.pixelColor(x, y));
    return n;
}

} // namespace

class PrintingTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    // pdftotext drops every space character and shows gaps instead, so the heading reads back as
    // its words with gaps: the gap before the mood (two spaces and an ideographic space) is
    // wider than the one before the weather (one ideographic space).
    void printedTextIsHeadingStarsThenBody()
    {
        Editor editor(QStringLiteral("<p>今天下了第一场雪。</p><p>明天去看梅花。</p>"));
        const QString file = m_dir.filePath(QStringLiteral("entry.pdf"));
        auto printer = pdfPrinter(file);
        printing::printEntry(&editor.edit, kHeading, dialogFont(), *printer);

        QStringList lines = pdfText(file, true).split(QLatin1Char('\n'));
        lines.removeAll(QString());
        QVERIFY2(lines.size() >= 4, qPrintable(lines.join(QLatin1Char('|'))));
        const QRegularExpression heading(QStringLiteral("^2003年9月26日( +)雪( +)想法$"));
        const QRegularExpressionMatch m = heading.match(lines[0].trimmed());
        QVERIFY2(m.hasMatch(), qPrintable(lines[0]));
        QVERIFY(m.capturedLength(2) > m.capturedLength(1));
        QCOMPARE(lines[1].trimmed(), QString(39, QLatin1Char('*')));
        QCOMPARE(lines[2].trimmed(), QStringLiteral("今天下了第一场雪。"));
        QCOMPARE(lines[3].trimmed(), QStringLiteral("明天去看梅花。"));
        QCOMPARE(pdfInfo(file, QStringLiteral("Title")), kHeading.date);
    }

    // CJK fonts that draw a Kangxi radical with its ideograph's glyph (Noto Sans CJK) must still
    // give back 月 and 日, not ⽉ and ⽇, from the printed file; characters beyond U+FFFF come back too.
    void chineseInANotoFontReadsBackAsItsIdeographs()
    {
        QVERIFY2(QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK SC")),
                 "fonts-noto-cjk is needed (scripts/install-deps.sh)");
        Editor editor(QStringLiteral("<p style=\"font-family:'Noto Sans CJK SC'\">九月二十六日，月亮长高了。</p>"
                                     "<p>笑脸😀和𠀀字</p>"));
        const QString file = m_dir.filePath(QStringLiteral("noto.pdf"));
        auto printer = pdfPrinter(file);
        const printing::Heading heading{QStringLiteral("2003年9月26日"), {}, {}};
        printing::printEntry(&editor.edit, heading, QFont(QStringLiteral("Noto Sans CJK SC")), *printer);
        const QString text = pdfText(file, false);
        QVERIFY2(text.contains(QStringLiteral("九月二十六日，月亮长高了。")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("笑脸😀和𠀀字")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("2003年9月26日")), qPrintable(text));
        QVERIFY2(!text.contains(QChar(0x2F49)) && !text.contains(QChar(0x2F47)) && !text.contains(QChar(0x2ED3)),
                 qPrintable(text));
    }

    // The printed copy: the heading red, left-aligned, 12 points, above the body as it was.
    // The editor holds nothing of it, while the print dialog shows either.
    void headingIsRedLeftAlignedTwelvePointAndNeverInTheEditor()
    {
        Editor editor(QStringLiteral("<p align=\"center\">正文第一段居中</p><p>第二段</p>"));
        const std::unique_ptr<QTextDocument> page =
            printing::headedCopy(*editor.edit.document(), kHeadingLine, printing::headingFormat(dialogFont()));
        const QTextBlock heading = page->firstBlock();
        checkInsertedLines(heading, heading.next(), heading.next().next(), heading.next().next().next());

        const QString before = editor.edit.toHtml();
        const QString file = m_dir.filePath(QStringLiteral("red.pdf"));
        auto printer = pdfPrinter(file);
        QString duringDialog;
        printing::printEntry(&editor.edit, kHeading, dialogFont(), *printer, [&](QPrinter &) {
            duringDialog = editor.edit.toHtml();
            return false;
        });
        QCOMPARE(duringDialog, before);
        // Cancelled: nothing printed, the editor as before.
        QVERIFY(!QFileInfo::exists(file));
        QCOMPARE(editor.edit.toHtml(), before);
    }

    // The page as it goes to paper: the heading's pixels are red, the body's are not.
    void firstPageShowsRedHeadingAboveBody()
    {
        Editor editor(QStringLiteral("<p>蓝色的正文</p>"));
        // A4 at 96 dpi, painted the way every printed page is.
        const QSizeF a4(794, 1123);
        const std::unique_ptr<QTextDocument> headed =
            printing::headedCopy(*editor.edit.document(), kHeadingLine, printing::headingFormat(dialogFont()));
        printing::PagedDocument pages(*headed, Qt::blue, a4, 96, 96);
        QImage page(a4.toSize(), QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        pages.paintPage(painter, 0);
        painter.end();
        const int lineHeight = 20;   // 12 points at 96 dpi is 16 pixels
        QVERIFY(redPixels(page, 0, lineHeight) > 30);
        QVERIFY(redPixels(page, lineHeight, 2 * lineHeight) > 30);   // the stars
        QCOMPARE(redPixels(page, 3 * lineHeight, page.height()), 0);
        int blue = 0;
        for (int y = 3 * lineHeight; y < 6 * lineHeight; ++y)
            for (int x = 0; x < 200; ++x)
                blue += page.pixelColor(x, y).blue() > 200 && page.pixelColor(x, y).red() < 80;
        QVERIFY2(blue > 30, "text without a colour of its own prints in the editor's colour");
    }

    // After printing, the editor holds exactly what it held before, its caret and undo too.
    void editorIsAsBeforeAfterPrinting_data()
    {
        QTest::addColumn<QString>("html");
        QTest::newRow("a centred first paragraph and styled words")
            << QStringLiteral("<p align=\"center\"><b>标题</b></p><p>正文<i>斜体</i>"
                              "<span style=\"color:#008000\">绿色</span></p>");
        QTest::newRow("a bulleted first paragraph")
            << QStringLiteral("<ul><li>第一项</li><li>第二项</li></ul><p>后记</p>");
        QTest::newRow("a single bulleted paragraph")
            << QStringLiteral("<ul><li>唯一的一项</li></ul>");
        QTest::newRow("a right-aligned first paragraph in a big red font")
            << QStringLiteral("<p align=\"right\"><span style=\"font-size:20pt;color:#ff0000\">"
                              "大字</span></p><p>小字</p>");
        QTest::newRow("an empty body") << QString();
        QTest::newRow("a long first paragraph that wraps")
            << QStringLiteral("<p align=\"center\">%1</p>").arg(QString(300, QChar(0x5B57)));
    }
    void editorIsAsBeforeAfterPrinting()
    {
        QFETCH(QString, html);
        Editor editor(html);
        editor.edit.document()->setModified(true);
        QTextCursor caret = editor.edit.textCursor();
        caret.movePosition(QTextCursor::End);
        editor.edit.setTextCursor(caret);
        const QString before = editor.edit.toHtml();
        const int blocksBefore = editor.edit.document()->blockCount();
        const QString file = m_dir.filePath(QStringLiteral("same.pdf"));
        auto printer = pdfPrinter(file);
        printing::printEntry(&editor.edit, kHeading, dialogFont(), *printer);

        QVERIFY(QFileInfo(file).size() > 0);
        QCOMPARE(editor.edit.toHtml(), before);
        QCOMPARE(editor.edit.document()->blockCount(), blocksBefore);
        QCOMPARE(editor.edit.textCursor().position(), caret.position());
        QVERIFY(editor.edit.document()->isModified());
        // Undoing can never bring the heading back into the entry.
        editor.edit.undo();
        QVERIFY(!editor.edit.toPlainText().contains(QStringLiteral("*****")));
    }

    void headingTakesTheDialogFontAtTwelvePoints()
    {
        QFont chosen(QStringLiteral("宋体"));
        chosen.setPointSize(20);
        chosen.setBold(true);
        const QTextCharFormat f = printing::headingFormat(chosen);
        QCOMPARE(f.fontFamilies().toStringList().value(0), QStringLiteral("宋体"));
        QCOMPARE(f.fontPointSize(), 12.0);
        QCOMPARE(f.fontWeight(), int(QFont::Bold));
        QCOMPARE(f.foreground().color(), QColor(Qt::red));
    }

    void longEntryFlowsOverSeveralPages()
    {
        QString html;
        for (int i = 1; i <= 150; ++i)
            html += QStringLiteral("<p>第%1行</p>").arg(i);
        Editor editor(html);
        const QString file = m_dir.filePath(QStringLiteral("long.pdf"));
        auto printer = pdfPrinter(file);
        printing::printEntry(&editor.edit, kHeading, dialogFont(), *printer);

        QVERIFY(pdfInfo(file, QStringLiteral("Pages")).toInt() >= 2);
        const QString text = pdfText(file, false);
        for (int i = 1; i <= 150; ++i)
            QVERIFY2(text.contains(QStringLiteral("第%1行\n").arg(i)), qPrintable(QString::number(i)));
    }

    // Printer errors reach the standard error box; the editor never held the heading lines.
    void printerErrorsAreShownAfterTheLinesAreRemoved_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("message");
        QTest::newRow("no printer and no output file")
            << QString() << QStringLiteral("没有可用的打印机，也没有选择输出文件!");
        QTest::newRow("an output file that cannot be created")
            << QStringLiteral("no/such/folder/x.pdf")
            << QStringLiteral("无法创建文件“%1”!");
    }
    void printerErrorsAreShownAfterTheLinesAreRemoved()
    {
        QFETCH(QString, output);
        QFETCH(QString, message);
        const QString path = output.isEmpty() ? output : m_dir.filePath(output);
        Editor editor(QStringLiteral("<p align=\"center\">正文</p>"));
        const QString before = editor.edit.toHtml();
        auto printer = pdfPrinter(path);

        QList<msgbox::Shown> shown;
        QString htmlWhenShown;
        msgbox::setInterceptor([&](const msgbox::Shown &box) {
            shown.append(box);
            htmlWhenShown = editor.edit.toHtml();
            return QMessageBox::Ok;
        });
        const bool finished = guarded([&] {
            printing::printEntry(&editor.edit, kHeading, dialogFont(), *printer);
        });
        msgbox::setInterceptor({});

        QVERIFY(!finished);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, QMessageBox::Critical);
        QCOMPARE(shown[0].caption, QStringLiteral("羽书手札"));
        QCOMPARE(shown[0].text, message.contains(QLatin1String("%1")) ? message.arg(path) : message);
        QCOMPARE(htmlWhenShown, before);
    }

private:
    static void checkInsertedLines(const QTextBlock &heading, const QTextBlock &stars,
                             const QTextBlock &empty, const QTextBlock &body)
    {
        QCOMPARE(heading.text(), kHeadingLine);
        QCOMPARE(stars.text(), QString(39, QLatin1Char('*')));
        QCOMPARE(empty.text(), QString());
        QCOMPARE(body.text(), QStringLiteral("正文第一段居中"));
        for (const QTextBlock &b : {heading, stars, empty}) {
            QCOMPARE(b.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
            QCOMPARE(b.charFormat().foreground().color(), QColor(Qt::red));
            QCOMPARE(b.charFormat().fontPointSize(), 12.0);
        }
        for (const QTextBlock &b : {heading, stars}) {
            const QTextCharFormat f = b.begin().fragment().charFormat();
            QCOMPARE(f.foreground().color(), QColor(Qt::red));
            QCOMPARE(f.fontPointSize(), 12.0);
            QCOMPARE(f.fontFamilies().toStringList().value(0), QStringLiteral("MS Sans Serif"));
        }
        QCOMPARE(body.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    }

    QTemporaryDir m_dir;
    QPrinter m_neverUsed{QPrinter::HighResolution};
};

QTEST_MAIN(PrintingTest)
#include "printing_test.moc"
