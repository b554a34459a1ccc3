// Reads a real application's focused field: the fixture window with a one-line, a multi-line and a
// password field, through the window manager's properties and the accessibility bus that
// scripts/test provides.

#include "Core/FocusContextReader.h"

#include "Base/Unicode.h"
#include "FixtureProgram.h"
#include "Platform/X11/X11FrontmostApplicationSource.h"
#include "TestSupport/QtPrinters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtConcurrent/QtConcurrentRun>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

namespace {

constexpr int answerTimeoutMs = 15000;
const QString fixtureClass = QStringLiteral("SonorvelleFocusFixture");

// Every 10th character a family emoji (one character, five scalars, eight code units), every 7th
// a CJK ideograph, and a line break every 60: counting mistakes in any unit show up.
QString mixedText(qsizetype characters)
{
    QString text;
    for (qsizetype i = 0; i < characters; ++i) {
        if (i % 60 == 59) {
            text += QLatin1Char('\n');
        } else if (i % 10 == 9) {
            text += QStringLiteral("👩‍👩‍👧");
        } else if (i % 7 == 6) {
            text += QChar(char16_t(0x4E00 + i % 500));
        } else {
            text += QChar(char16_t(u'a' + i % 26));
        }
    }
    return text;
}

class FocusFixture
{
public:
    FocusFixture()
    {
        const QString program = FixtureProgram::path(u"sonorvelle_focus_fixture");
        if (program.isEmpty()) {
            m_error = "fixture program sonorvelle_focus_fixture was not built";
            return;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, {});
        if (!m_process.waitForStarted(answerTimeoutMs)) {
            m_error = "fixture program did not start";
            return;
        }
        const QByteArray ready = readLine();
        if (ready != "ready") {
            m_error = "fixture window: " + ready.toStdString();
        }
    }

    ~FocusFixture()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(answerTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    const std::string &error() const { return m_error; }
    qint64 pid() const { return m_process.processId(); }

    // Sends one command; the answer is "ok" or the fixture's complaint.
    QByteArray command(const QJsonObject &command)
    {
        m_process.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        return readLine();
    }

private:
    QByteArray readLine()
    {
        const bool answered = QTest::qWaitFor(
            [this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; },
            answerTimeoutMs);
        if (!answered || !m_process.canReadLine()) {
            return "no answer from the fixture window";
        }
        return m_process.readLine().trimmed();
    }

    QProcess m_process;
    std::string m_error;
};

// The reader blocks its thread, and may ask this very process too (it is on the bus as well):
// read from a worker while this thread keeps answering.
FocusContext readFocus(qint64 maxLength = 4000)
{
    QFuture<FocusContext> future =
        QtConcurrent::run([maxLength] { return FocusContextReader::read(maxLength); });
    const bool finished = QTest::qWaitFor([&] { return future.isFinished(); }, answerTimeoutMs);
    EXPECT_TRUE(finished) << "the focus reader did not return within " << answerTimeoutMs << " ms";
    return finished ? future.result() : FocusContext();
}

class FocusContextReaderIntegration : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"))
            << "X11 display: the integration tests need the display scripts/test starts";
        ASSERT_EQ(m_fixture.error(), "") << m_fixture.error();
        // The window manager names the fixture the active window once it has the focus.
        std::optional<FrontmostApplication> front;
        const bool active = QTest::qWaitFor(
            [&] {
                front = X11FrontmostApplicationSource().frontmostApplication();
                return front && front->processIdentifier == m_fixture.pid();
            },
            answerTimeoutMs);
        ASSERT_TRUE(active) << "window manager: _NET_ACTIVE_WINDOW never named the fixture window";
    }

    QJsonObject field(const char *name, const QString &text, int selectionStart, int selectionEnd)
    {
        return {{"field", QLatin1String(name)},
                {"text", text},
                {"selectionStart", selectionStart},
                {"selectionEnd", selectionEnd},
                {"focus", true}};
    }

    FocusFixture m_fixture;
};

TEST_F(FocusContextReaderIntegration, OneLineFieldWithEmojiAndCjk)
{
    // Code units: a b 😀(2) 中 文 🇯🇵(4) x y; the selection 中文 is code units 4...6, scalars 3...5.
    const QString text = QStringLiteral("ab😀中文🇯🇵xy");
    ASSERT_EQ(m_fixture.command({{"title", "Budget review — Focus fixture"}}), "ok");
    ASSERT_EQ(m_fixture.command(field("line", text, 4, 6)), "ok");

    const FocusContext context = readFocus();
    EXPECT_EQ(context.appName, fixtureClass);
    EXPECT_EQ(context.bundleID, fixtureClass);
    EXPECT_EQ(context.windowTitle, QStringLiteral("Budget review — Focus fixture"));
    EXPECT_FALSE(context.isSecureField);
    EXPECT_EQ(context.fieldText, text);
    EXPECT_FALSE(context.fieldTextTail);
    EXPECT_EQ(context.selectedText, QStringLiteral("中文"));
    EXPECT_EQ(context.caretLocation, 3);

    // Only a caret, after the flag: scalars a b 😀 中 文 🇯 🇵 = 7.
    ASSERT_EQ(m_fixture.command(field("line", text, 10, 10)), "ok");
    const FocusContext caretOnly = readFocus();
    EXPECT_FALSE(caretOnly.selectedText);
    EXPECT_EQ(caretOnly.caretLocation, 7);
}

TEST_F(FocusContextReaderIntegration, MultiLineFieldOfTenThousandCharacters)
{
    const QString text = mixedText(10000);
    // The caret after character 5000, as code units.
    const QString before = Unicode::graphemePrefix(text, 5000);
    ASSERT_EQ(m_fixture.command(field("multi", text, int(before.size()), int(before.size()))),
              "ok");

    const FocusContext context = readFocus();
    ASSERT_TRUE(context.fieldText);
    ASSERT_TRUE(context.fieldTextTail);
    EXPECT_EQ(Unicode::graphemeCount(*context.fieldText), 4000);
    EXPECT_EQ(*context.fieldText, Unicode::graphemePrefix(text, 4000));
    EXPECT_EQ(Unicode::graphemeCount(*context.fieldTextTail), 4000);
    EXPECT_EQ(*context.fieldTextTail, Unicode::graphemeSuffix(text, 4000));
    EXPECT_FALSE(context.selectedText);
    EXPECT_EQ(context.caretLocation, Unicode::scalarCount(before));

    // A selection across lines.
    const QString first = Unicode::graphemePrefix(text, 55);
    const QString through = Unicode::graphemePrefix(text, 70);
    ASSERT_EQ(m_fixture.command(field("multi", text, int(first.size()), int(through.size()))),
              "ok");
    const FocusContext selected = readFocus();
    EXPECT_EQ(selected.selectedText, through.mid(first.size()));
    EXPECT_EQ(selected.caretLocation, Unicode::scalarCount(first));
}

TEST_F(FocusContextReaderIntegration, PasswordFieldGivesTheSecureFlagOnly)
{
    ASSERT_EQ(m_fixture.command({{"title", "Log in"}}), "ok");
    ASSERT_EQ(m_fixture.command(field("password", QStringLiteral("hunter2"), 2, 5)), "ok");

    const FocusContext context = readFocus();
    EXPECT_TRUE(context.isSecureField);
    EXPECT_FALSE(context.fieldText);
    EXPECT_FALSE(context.fieldTextTail);
    EXPECT_FALSE(context.selectedText);
    EXPECT_FALSE(context.caretLocation);
    EXPECT_EQ(context.appName, fixtureClass);
    EXPECT_EQ(context.bundleID, fixtureClass);
    EXPECT_EQ(context.windowTitle, QStringLiteral("Log in"));
}

// An application busy elsewhere answers every accessibility request late: the read still ends
// within its budget, and a field whose kind it could not learn in time counts as a password field.
TEST_F(FocusContextReaderIntegration, ASlowApplicationKeepsTheReadWithinItsBudget)
{
    const struct
    {
        const char *field;
        int answerDelayMs;
    } cases[] = {
        // Every answer just inside a request's own limit: only the budget bounds the read.
        {"password", 900},
        // Every answer too late for a request: the kind of the field is never learned.
        {"line", 1500},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.field) + " answering after " + std::to_string(c.answerDelayMs)
                     + " ms");
        ASSERT_EQ(m_fixture.command(field(c.field, QStringLiteral("hunter2"), 7, 7)), "ok");
        ASSERT_EQ(m_fixture.command({{"answerDelayMs", c.answerDelayMs}}), "ok");
        QElapsedTimer timer;
        timer.start();
        const FocusContext context = readFocus();
        const qint64 elapsed = timer.elapsed();
        ASSERT_EQ(m_fixture.command({{"answerDelayMs", 0}}), "ok");
        // One request may still be under way when the budget runs out.
        EXPECT_LT(elapsed, FocusContextReader::readBudget.count() + 1500);
        EXPECT_TRUE(context.isSecureField);
        EXPECT_FALSE(context.fieldText);
        EXPECT_FALSE(context.selectedText);
        EXPECT_FALSE(context.caretLocation);
        EXPECT_EQ(context.bundleID, fixtureClass);
    }
}

TEST_F(FocusContextReaderIntegration, EmptyFieldKeepsTheCaret)
{
    ASSERT_EQ(m_fixture.command(field("line", QString(), 0, 0)), "ok");
    const FocusContext context = readFocus();
    EXPECT_FALSE(context.fieldText);
    EXPECT_FALSE(context.fieldTextTail);
    EXPECT_FALSE(context.selectedText);
    EXPECT_EQ(context.caretLocation, 0);
}

TEST_F(FocusContextReaderIntegration, TheApplicationIsNamedByItsDesktopEntry)
{
    const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile entry(folder + QStringLiteral("/org.sonorvelle.FocusFixture.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Focus Fixture\nExec=true\n"
                "StartupWMClass=SonorvelleFocusFixture\n");
    entry.close();

    ASSERT_EQ(m_fixture.command(field("line", QStringLiteral("x"), 1, 1)), "ok");
    const FocusContext context = readFocus();
    entry.remove();
    EXPECT_EQ(context.appName, QStringLiteral("Focus Fixture"));
    EXPECT_EQ(context.bundleID, QStringLiteral("org.sonorvelle.FocusFixture"));
    EXPECT_EQ(context.fieldText, QStringLiteral("x"));
}

} // namespace
