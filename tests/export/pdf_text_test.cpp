#include "export/pdf_text.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A PDF in the form Qt's engine writes: a font object naming its ToUnicode map, the map as an
// unfiltered stream with a direct length, a classic cross-reference table.
QByteArray pdfWithMap(const QByteArray &sections, const QByteArray &dict = "<< /Length %1 >>")
{
    const QByteArray cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                            "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n"
                            + sections + "endcmap\nend\nend\n";
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    offsets << pdf.size();
    pdf += "1 0 obj\n<< /Type /Font /ToUnicode 2 0 R >>\nendobj\n";
    offsets << pdf.size();
    pdf += "2 0 obj\n" + QByteArray(dict).replace("%1", QByteArray::number(cmap.size())) + "\nstream\n" + cmap
           + "\nendstream\nendobj\n";
    offsets << pdf.size();
    pdf += "3 0 obj\n<< /Type /Catalog >>\nendobj\n";
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size 4 /Root 3 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// Every object the table names starts where the table says, and startxref finds the table.
void expectConsistent(const QByteArray &pdf)
{
    const qsizetype xref = pdf.mid(pdf.lastIndexOf("startxref") + 10).split('\n').value(0).toLongLong();
    ASSERT_TRUE(pdf.mid(xref).startsWith("xref\n0 4\n"));
    for (int n = 1; n <= 3; ++n) {
        const qsizetype offset = pdf.mid(xref + 9 + 20 * n, 10).toLongLong();
        EXPECT_TRUE(pdf.mid(offset).startsWith(QByteArray::number(n) + " 0 obj")) << n;
    }
    const QRegularExpression length(u"/Length (\\d+) >>\\nstream\\n"_s);
    const QRegularExpressionMatch m = length.match(QString::fromLatin1(pdf));
    ASSERT_TRUE(m.hasMatch());
    const qsizetype data = m.capturedEnd(0);
    EXPECT_EQ(pdf.mid(data + m.captured(1).toLongLong(), 10), QByteArray("\nendstream"));
}

TEST(PdfText, RadicalsStandForTheirIdeographs)
{
    EXPECT_EQ(diary_export::ideographOfRadical(QChar(0x2F49)), QChar(0x6708));   // ⽉ 月
    EXPECT_EQ(diary_export::ideographOfRadical(QChar(0x2F47)), QChar(0x65E5));   // ⽇ 日
    EXPECT_EQ(diary_export::ideographOfRadical(QChar(0x2ED3)), QChar(0x957F));   // ⻓ 长
    EXPECT_EQ(diary_export::ideographOfRadical(QChar(0x2E9F)), QChar(0x6BCD));   // ⺟ 母
    EXPECT_EQ(diary_export::ideographOfRadical(QChar(0x2E81)), QChar(0x2E81));   // no ideograph
    EXPECT_EQ(diary_export::ideographOfRadical(QChar(0x6708)), QChar(0x6708));
    EXPECT_EQ(diary_export::ideographOfRadical(u'A'), u'A');
}

TEST(PdfText, MapsAreMendedAndTheTableRebuilt)
{
    const struct {
        const char *name;
        QByteArray sections;
        QByteArray expected;   // in the mended map; empty: the file comes back unchanged
    } rows[] = {
        {"a bfrange array with radicals",
         "1 beginbfrange\n<0001> <0003> [<0032> <2F49> <2F47> ]\nendbfrange\n",
         "<0001> <0003> [<0032> <6708> <65E5> ]"},
        {"a bfrange counting up over radicals becomes an array",
         "1 beginbfrange\n<0005> <0007> <2F47>\nendbfrange\n", "<0005> <0007> [<65E5> <66F0> <6708> ]"},
        {"a bfchar radical", "2 beginbfchar\n<0009> <2ED3>\n<000A> <0041>\nendbfchar\n",
         "<0009> <957F>\n<000A> <0041>"},
        {"a map without radicals", "1 beginbfrange\n<0001> <0002> [<6708> <65E5> ]\nendbfrange\n", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QByteArray pdf = pdfWithMap(row.sections);
        const QByteArray mended = diary_export::mendToUnicode(pdf);
        if (row.expected.isEmpty()) {
            EXPECT_EQ(mended, pdf);
            continue;
        }
        EXPECT_TRUE(mended.contains(row.expected)) << mended.toStdString();
        expectConsistent(mended);
    }
}

TEST(PdfText, FormsNotUnderstoodComeBackUnchanged)
{
    const QByteArray sections = "1 beginbfchar\n<0009> <2F49>\nendbfchar\n";
    for (const QByteArray &dict : {QByteArray("<< /Length 7 0 R >>"),
                                   QByteArray("<< /Length %1 /Filter /FlateDecode >>")}) {
        const QByteArray pdf = pdfWithMap(sections, dict);
        EXPECT_EQ(diary_export::mendToUnicode(pdf), pdf) << dict.toStdString();
    }
    const QByteArray cut = pdfWithMap(sections).left(200);
    EXPECT_EQ(diary_export::mendToUnicode(cut), cut);
}

} // namespace
