#include "templates/templates.h"

#include "diary/entry.h"
#include "richtext/rich_text.h"
#include "support/test_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray rtfOf(const QString &text, bool bold = false)
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    QTextCharFormat format;
    format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    cursor.insertText(text, format);
    return richtext::writeRtf(doc);
}

QString bodyOf(const QByteArray &record)
{
    QTextDocument doc;
    diary::loadRecord(record, doc);
    return doc.toPlainText();
}

class Templates : public ::testing::Test
{
protected:
    QString archive() const { return m_dir.filePath(u"张三"_s); }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(Templates, ANewSundayEntryGetsTheSundayTemplateWithTheDateFilledIn)
{
    templates::Templates set;
    set.everyDay = rtfOf(u"{日期} {星期}\n今天："_s);
    set.weekdays[6] = rtfOf(u"本周回顾 {日期}，{星期}，{农历}"_s, true);
    templates::write(archive(), set, nullptr);
    const templates::Templates stored = templates::read(archive(), nullptr);
    EXPECT_EQ(stored, set);

    const QByteArray sunday = templates::newEntryRecord(stored, QDate(2024, 2, 11), 2, 3);
    EXPECT_EQ(bodyOf(sunday), u"本周回顾 2024年2月11日，星期日，农历甲辰年正月初二"_s);
    const diary::ListRow row = diary::listRowOf("x", sunday);
    EXPECT_EQ(row.weather, diary::weatherWord(2));
    EXPECT_EQ(row.mood, diary::moodWord(3));
    // The filled-in date keeps the placeholder's format.
    QTextDocument doc;
    diary::loadRecord(sunday, doc);
    EXPECT_EQ(QTextCursor(doc.find(u"2024年2月11日"_s)).charFormat().fontWeight(), QFont::Bold);

    EXPECT_EQ(bodyOf(templates::newEntryRecord(stored, QDate(2024, 2, 12))), u"2024年2月12日 星期一\n今天："_s);
    // Without templates the editor starts its own empty entry.
    EXPECT_TRUE(templates::newEntryRecord({}, QDate(2024, 2, 11)).isEmpty());
    // An empty set leaves no file behind.
    templates::write(archive(), {}, nullptr);
    EXPECT_FALSE(QFile::exists(templates::pathOf(archive())));
    EXPECT_TRUE(templates::read(archive(), nullptr).isEmpty());
}

TEST_F(Templates, APrivateDiarysTemplateIsSealedBesideTheDiary)
{
    const DiaryKey key = DiaryKey::generate();
    templates::Templates set;
    set.everyDay = rtfOf(u"秘密的模板 secretword"_s);
    templates::write(archive(), set, &key);

    const QString path = templates::pathOf(archive());
    EXPECT_EQ(QFileInfo(path).dir().dirName(), u".templates"_s);
    EXPECT_EQ(QFileInfo(path).dir().absolutePath(), m_dir.path() + u"/.templates"_s);
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(path).path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const QByteArray file = testing_support::readFile(path);
    for (const QByteArray &word : {QByteArray("secretword"), QByteArray("rtf1"), u"秘密"_s.toUtf8()})
        EXPECT_FALSE(file.contains(word)) << word.constData();
    EXPECT_EQ(templates::read(archive(), &key), set);
    // Without the key, or with another, it does not open, and nobody writes over it unasked.
    EXPECT_THROW(templates::read(archive(), nullptr), templates::ETemplateError);
    const DiaryKey other = DiaryKey::generate();
    EXPECT_THROW(templates::read(archive(), &other), templates::ETemplateError);
    EXPECT_EQ(testing_support::readFile(path), file);
}

TEST_F(Templates, ADiaryMadePrivateHasItsTemplatesSealedAndBack)
{
    templates::Templates set;
    set.weekdays[0] = rtfOf(u"周一 secretword"_s);
    templates::write(archive(), set, nullptr);
    const DiaryKey key = DiaryKey::generate();
    ASSERT_TRUE(templates::reseal(archive(), nullptr, &key));
    EXPECT_FALSE(testing_support::readFile(templates::pathOf(archive())).contains("rtf1"));
    EXPECT_EQ(templates::read(archive(), &key), set);
    ASSERT_TRUE(templates::reseal(archive(), &key, nullptr));
    EXPECT_EQ(templates::read(archive(), nullptr), set);
    // Under another key they do not open: left as they are.
    const QByteArray before = testing_support::readFile(templates::pathOf(archive()));
    const DiaryKey other = DiaryKey::generate();
    EXPECT_FALSE(templates::reseal(archive(), &other, nullptr));
    EXPECT_EQ(testing_support::readFile(templates::pathOf(archive())), before);
}

TEST_F(Templates, ALinkInTheFilesPlaceIsNotWrittenThrough)
{
    const QString elsewhere = m_dir.filePath(u"elsewhere"_s);
    testing_support::writeFile(elsewhere, "mine");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(templates::pathOf(archive())).path()));
    ASSERT_TRUE(QFile::link(elsewhere, templates::pathOf(archive())));
    templates::Templates set;
    set.everyDay = rtfOf(u"模板"_s);
    EXPECT_THROW(templates::write(archive(), set, nullptr), templates::ETemplateError);
    EXPECT_EQ(testing_support::readFile(elsewhere), QByteArray("mine"));
}
