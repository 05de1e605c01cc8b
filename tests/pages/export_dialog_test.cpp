#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "pages/export_dialog.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

using namespace Qt::StringLiterals;
using diary_export::Format;
using Kind = diary_export::Selection::Kind;

class ExportDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void choicesBecomeOptionsAndSelection_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("scope");
        QTest::addColumn<bool>("perEntry");
        QTest::addColumn<int>("wantedFormat");
        QTest::addColumn<int>("wantedKind");
        QTest::addColumn<bool>("wantedPerEntry");
        QTest::newRow("HTML of the whole diary") << 0 << u"WholeDiary"_s << false << int(Format::Html) << int(Kind::All) << false;
        QTest::newRow("Markdown per entry of the selected row") << 1 << u"SelectedRows"_s << true << int(Format::Markdown) << int(Kind::Names) << true;
        QTest::newRow("text of a date range, the per-entry box ignored") << 2 << u"DateRange"_s << true << int(Format::Text) << int(Kind::DateRange) << false;
        QTest::newRow("PDF of the whole diary") << 3 << u"WholeDiary"_s << false << int(Format::Pdf) << int(Kind::All) << false;
        QTest::newRow("ODF text of the whole diary") << 4 << u"WholeDiary"_s << false << int(Format::Odf) << int(Kind::All) << false;
    }

    void choicesBecomeOptionsAndSelection()
    {
        QFETCH(int, format);
        QFETCH(QString, scope);
        QFETCH(bool, perEntry);
        QFETCH(int, wantedFormat);
        QFETCH(int, wantedKind);
        TExportDialog dialog({gbk::encode(u"2003年9月26日"_s)}, false);
        QVERIFY(dialog.WholeDiary->isChecked());
        dialog.FormatBox->setCurrentIndex(format);
        dialog.findChild<QRadioButton *>(scope)->setChecked(true);
        dialog.PerEntry->setChecked(perEntry);
        dialog.ToDate->setDate(QDate(2003, 1, 1));
        dialog.FromDate->setDate(QDate(2004, 1, 1));
        QCOMPARE(int(dialog.options().format), wantedFormat);
        const diary_export::Selection selection = dialog.selection();
        QCOMPARE(int(selection.kind), wantedKind);
        QTEST(dialog.options().perEntry, "wantedPerEntry");
        QCOMPARE(dialog.PageSizeBox->isEnabled(), format == 3);
        if (selection.kind == Kind::DateRange) {   // either order of the two dates
            QCOMPARE(selection.from, QDate(2003, 1, 1));
            QCOMPARE(selection.to, QDate(2004, 1, 1));
        }
        if (selection.kind == Kind::Names)
            QCOMPARE(selection.names, QList<QByteArray>{gbk::encode(u"2003年9月26日"_s)});
    }

    void withoutSelectedRowsTheirChoiceIsOff()
    {
        TExportDialog dialog({}, true);
        QVERIFY(!dialog.SelectedRows->isEnabled());
        QVERIFY(dialog.WholeDiary->isChecked());
    }

    // The outcome is told: how many entries, and each one left out with its reason.
    void exportWithProgressTellsWhatWasWrittenAndLeftOut()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(u"李四"_s);
        for (const QString &name : {u"2003年9月26日"_s, u"随笔"_s}) {
            QTextDocument doc;
            doc.setPlainText(u"正文"_s);
            QByteArray record = diary::makeRecord(doc, 0, 0);
            QBuffer stream(&record);
            stream.open(QIODevice::ReadOnly);
            TArchiveWriter writer;
            writer.SetZipName(archive);
            writer.SetPassword(diary::kArchivePassword);
            writer.AddFromStream(gbk::encode(name), stream);
        }
        QStringList shown;
        msgbox::setInterceptor([&](const msgbox::Shown &box) {
            shown.append(box.text);
            return QMessageBox::Ok;
        });
        TArchiveReader reader;
        reader.SetZipName(archive);
        diary_export::Options options;
        options.format = Format::Text;
        const QString out = dir.filePath(u"out.txt"_s);
        const auto report = exportWithProgress(nullptr, reader, nullptr, {}, options, out);
        msgbox::setInterceptor({});
        QCOMPARE(report.exported, 1);
        QCOMPARE(shown, QStringList{u"已导出 1 篇日记。\n以下日记没有导出：\n随笔（名字不是日期）"_s});
        QVERIFY(testing_support::readFile(out).startsWith("\xe7\xbe\xbd\xe4\xb9\xa6\xe6\x89\x8b\xe6\x9c\xad \xc2\xb7 \xe6\x9d\x8e\xe5\x9b\x9b"));
    }
};

QTEST_MAIN(ExportDialogTest)
#include "export_dialog_test.moc"
