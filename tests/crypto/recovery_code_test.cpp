#include "crypto/recovery_code.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

TEST(RecoveryCode, NewCodesAreGroupedRandomAndUseTheWholeAlphabet)
{
    const QRegularExpression shape(QStringLiteral(
        "^[0-9A-HJKMNP-TV-Z]{4}(-[0-9A-HJKMNP-TV-Z]{4}){5}$"));
    QSet<QString> seen;
    QSet<QChar> characters;
    for (int i = 0; i < 300; ++i) {
        const QString code = recovery_code::generate();
        ASSERT_TRUE(shape.match(code).hasMatch()) << code.toStdString();
        const std::optional<SecretBytes> canonical = recovery_code::normalise(code);
        ASSERT_TRUE(canonical);
        EXPECT_EQ(canonical->view().toByteArray(), QString(code).remove(QLatin1Char('-')).toLatin1());
        seen.insert(code);
        for (const QChar c : code)
            characters.insert(c);
    }
    EXPECT_EQ(seen.size(), 300);
    characters.remove(QLatin1Char('-'));
    EXPECT_EQ(characters.size(), 32);
}

TEST(RecoveryCode, TypedCodesNormaliseToTheirCanonicalForm)
{
    struct Case {
        const char *what;
        QString typed;
        const char *canonical;   // nullptr: refused
    };
    const Case cases[] = {
        {"as shown", QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQ"), "01ABCD23EFGH4567JKMN89PQ"},
        {"lower case", QStringLiteral("01ab-cd23-efgh-4567-jkmn-89pq"), "01ABCD23EFGH4567JKMN89PQ"},
        {"spaces and tabs", QStringLiteral("01AB CD23\tEFGH  4567 JKMN 89PQ "), "01ABCD23EFGH4567JKMN89PQ"},
        {"run together", QStringLiteral("01ABCD23EFGH4567JKMN89PQ"), "01ABCD23EFGH4567JKMN89PQ"},
        {"O, I and L for the digits", QStringLiteral("Oiab-cd23-efgh-4567-jkmn-89pq"), "01ABCD23EFGH4567JKMN89PQ"},
        {"l for one", QStringLiteral("0lAB-CD23-EFGH-4567-JKMN-89PQ"), "01ABCD23EFGH4567JKMN89PQ"},
        {"full-width characters", QStringLiteral("０１ＡＢ－ＣＤ２３\u3000ＥＦＧＨ-4567-JKMN-89PQ"),
         "01ABCD23EFGH4567JKMN89PQ"},
        {"groups differently", QStringLiteral("01ABC-D23EF-GH456-7JKMN-89PQ"), "01ABCD23EFGH4567JKMN89PQ"},
        {"one short", QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89P"), nullptr},
        {"one too many", QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQR"), nullptr},
        {"a U", QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PU"), nullptr},
        {"punctuation", QStringLiteral("01AB.CD23.EFGH.4567.JKMN.89PQ"), nullptr},
        {"a Chinese character", QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89P码"), nullptr},
        {"empty", QString(), nullptr},
        {"only dashes", QStringLiteral("-----"), nullptr},
        {"far too long", QString(200, QLatin1Char(' ')) + QStringLiteral("01ABCD23EFGH4567JKMN89PQ"), nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<SecretBytes> n = recovery_code::normalise(c.typed);
        EXPECT_EQ(recovery_code::isWellFormed(c.typed), c.canonical != nullptr);
        if (c.canonical) {
            ASSERT_TRUE(n);
            EXPECT_EQ(n->view().toByteArray(), QByteArray(c.canonical));
        } else {
            EXPECT_FALSE(n);
        }
    }
}
