#include "platform/exception.h"
#include "platform/message_box.h"

#include <gtest/gtest.h>

TEST(ErrorBox, AppendsAFullStopOnlyAfterCharactersThatSortAboveIt)
{
    EXPECT_EQ(msgbox::errorBoxText(QStringLiteral("Incomplete Zip File")),
              QStringLiteral("Incomplete Zip File."));
    EXPECT_EQ(msgbox::errorBoxText(QStringLiteral("Not a valid zip file!")),
              QStringLiteral("Not a valid zip file!"));
    EXPECT_EQ(msgbox::errorBoxText(QStringLiteral("Ends with a stop.")),
              QStringLiteral("Ends with a stop."));
    EXPECT_EQ(msgbox::errorBoxText(QStringLiteral("(x)")), QStringLiteral("(x)"));
    EXPECT_EQ(msgbox::errorBoxText(QStringLiteral("space ")), QStringLiteral("space "));
    EXPECT_EQ(msgbox::errorBoxText(QStringLiteral("Index 5")), QStringLiteral("Index 5."));
    // A double-byte character's lead byte is above 0x80.
    EXPECT_EQ(msgbox::errorBoxText(QStringLiteral("无法打开")), QStringLiteral("无法打开."));
    EXPECT_EQ(msgbox::errorBoxText(QString()), QString());
}

TEST(Guard, ShowsTheErrorOnceAndLetsTheProgramGoOn)
{
    QList<msgbox::Shown> shown;
    msgbox::setInterceptor([&](const msgbox::Shown &box) {
        shown.append(box);
        return QMessageBox::Ok;
    });
    bool ranToEnd = guarded([] { throw EConvertError(QStringLiteral("'abc' is not a valid integer value")); });
    EXPECT_FALSE(ranToEnd);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].caption, QStringLiteral("羽书手札"));
    EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(shown[0].text, QStringLiteral("'abc' is not a valid integer value."));

    EXPECT_TRUE(guarded([] {}));
    EXPECT_EQ(shown.size(), 1);
    msgbox::setInterceptor({});
}

TEST(Guard, ADiaryInUseIsShownInTheWindowsOwnWords)
{
    QList<msgbox::Shown> shown;
    msgbox::setInterceptor([&](const msgbox::Shown &box) {
        shown.append(box);
        return QMessageBox::Ok;
    });
    EXPECT_FALSE(guarded([] {
        throw EFileInUse(QStringLiteral("The diary is in use by another program; try again later"));
    }));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].caption, QStringLiteral("羽书手札"));
    EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(shown[0].text, QStringLiteral("日记正被另一个程序使用，请稍后再试"));
    msgbox::setInterceptor({});
}

TEST(Boxes, WarningAndStandardMessageHaveTheirCaptionsAndIcons)
{
    QList<msgbox::Shown> shown;
    msgbox::setInterceptor([&](const msgbox::Shown &box) {
        shown.append(box);
        return QMessageBox::Ok;
    });
    msgbox::showWarning(nullptr, QStringLiteral("请先选择或新建一个用户!"));
    msgbox::showMessage(nullptr, QStringLiteral("已经完成用户密码的更改操作!"));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].caption, QStringLiteral("羽书手札"));
    EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
    EXPECT_EQ(shown[1].caption, QStringLiteral("羽书手札"));
    EXPECT_EQ(shown[1].icon, QMessageBox::NoIcon);
    msgbox::setInterceptor({});
}
