#include "app/single_instance.h"
#include "support/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 30000;

// Two real copies of the program on a display name of their own, so that the test meets
// neither a copy the user is running nor another test.
class SingleInstance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_display = QStringLiteral(":qb-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_env.insert(QStringLiteral("DISPLAY"), m_display);
        m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }

    QString serverName() const
    {
        const QByteArray saved = qgetenv("DISPLAY");
        qputenv("DISPLAY", m_display.toUtf8());
        const QString name = TSingleInstance::defaultName();
        qputenv("DISPLAY", saved);
        return name;
    }

    // Starts the first copy (the helper that reports its boxes) and waits until it listens.
    void startFirst(QProcess &first)
    {
        first.setProcessEnvironment(m_env);
        first.setWorkingDirectory(m_dir.path());
        first.start(QStringLiteral(QB_APP_HELPER),
                    {QStringLiteral("first"), m_dir.filePath(QStringLiteral("main.ini"))});
        ASSERT_TRUE(first.waitForStarted(kWaitMs));
        ASSERT_EQ(readLine(first), QByteArray("READY"));
    }

    static QByteArray readLine(QProcess &process)
    {
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(kWaitMs))
                return "(no line: " + process.readAllStandardError() + ")";
        }
        return process.readLine().trimmed();
    }

    // Starts the real program as the second copy and waits for it to end by itself.
    void startSecond(QProcess &second, qint64 *elapsedMs = nullptr)
    {
        second.setProcessEnvironment(m_env);
        second.setWorkingDirectory(m_dir.path());
        QElapsedTimer clock;
        clock.start();
        second.start(testing_support::binDir() + QLatin1String("/quillbook"), {});
        ASSERT_TRUE(second.waitForStarted(kWaitMs));
        const bool ended = second.waitForFinished(kWaitMs);
        if (elapsedMs)
            *elapsedMs = clock.elapsed();
        if (!ended)
            second.kill();
        ASSERT_TRUE(ended) << "the second copy kept running";
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
    }

    void expectAlreadyRunningBox(QProcess &first)
    {
        // Information icon (1), owned by the main window, then the exact caption and text.
        EXPECT_EQ(QString::fromUtf8(readLine(first)),
                  QStringLiteral("BOX 1|1|羽书手札(2003版)|羽书手札已经在运行了。"));
        ASSERT_TRUE(first.waitForFinished(kWaitMs));
        EXPECT_EQ(first.exitCode(), 0);
    }

    QTemporaryDir m_dir;
    QString m_display;
    QProcessEnvironment m_env;
};

} // namespace

TEST_F(SingleInstance, ASecondCopyTellsTheFirstAndEndsAtOnce)
{
    QProcess first;
    startFirst(first);
    QProcess second;
    qint64 elapsed = 0;
    startSecond(second, &elapsed);
    RecordProperty("second_copy_ms", int(elapsed));
    expectAlreadyRunningBox(first);
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("Diary.dat"))));
}

TEST_F(SingleInstance, ASocketLeftByACrashedCopyDoesNotBlockTheNextStart)
{
    QProcess crashed;
    startFirst(crashed);
    crashed.kill();
    ASSERT_TRUE(crashed.waitForFinished(kWaitMs));
    const QString socket = QDir::tempPath() + QLatin1Char('/') + serverName();
    ASSERT_TRUE(QFileInfo::exists(socket)) << "the killed copy left its socket behind";

    QProcess first;
    startFirst(first);
    QProcess second;
    startSecond(second);
    expectAlreadyRunningBox(first);
}
