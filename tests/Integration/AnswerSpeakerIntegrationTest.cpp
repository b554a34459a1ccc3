// The answer speaker on the private speech-dispatcher that scripts/test starts (espeak-ng on the
// sound server's null sink): the engine is made without blocking the main thread, and a short
// answer is spoken to its end.

#include "Base/Clock.h"
#include "Fakes/TestAppSettings.h"
#include "Platform/LanguageRecognizer.h"
#include "Platform/Qt/QtSpeechSynthesizer.h"
#include "UI/AnswerCard/AnswerSpeaker.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr int engineTimeoutMs = 20000;

} // namespace

TEST(AnswerSpeakerIntegration, AShortAnswerIsSpokenToItsEndThroughSpeechDispatcher)
{
    ASSERT_FALSE(qEnvironmentVariable("SPEECHD_ADDRESS").isEmpty())
        << "speech-dispatcher: the test session of scripts/test starts it";

    QtSpeechSynthesizer synthesizer;
    QSignalSpy ready(&synthesizer, &QtSpeechSynthesizer::ready);
    QElapsedTimer timer;
    timer.start();
    synthesizer.warmUp();
    EXPECT_LT(timer.elapsed(), 200) << "making the engine blocked the main thread";
    ASSERT_TRUE(ready.count() > 0 || ready.wait(engineTimeoutMs)) << "the engine was never made";
    ASSERT_FALSE(synthesizer.voices().isEmpty()) << "speech-dispatcher listed no voice";

    TestAppSettings settings {true};
    AnswerSpeaker speaker(
        {&synthesizer, &LanguageRecognizer::system(), settings.settings.get(), &Clock::system()});
    QSignalSpy failures(&speaker, &AnswerSpeaker::failed);
    QList<bool> states;
    QObject::connect(&speaker, &AnswerSpeaking::isSpeakingChanged, &speaker,
                     [&] { states << speaker.isSpeaking(); });

    speaker.speak(QStringLiteral("The museum opens at ten."));
    EXPECT_TRUE(speaker.isSpeaking());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !speaker.isSpeaking(); }, engineTimeoutMs))
        << "the reading never ended";
    EXPECT_EQ(states, QList<bool>({true, false}));
    EXPECT_EQ(failures.count(), 0);

    // A reading stopped in its middle and another one at once: the second one is read to its
    // end, not ended by the report of the first.
    speaker.speak(QStringLiteral("This is a much longer answer, read slowly from its first word "
                                 "to its last, so that it can be stopped in the middle."));
    QTest::qWait(300);
    speaker.stop();
    speaker.speak(QStringLiteral("Short."));
    EXPECT_TRUE(speaker.isSpeaking());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !speaker.isSpeaking(); }, engineTimeoutMs));
    EXPECT_EQ(failures.count(), 0);
}

TEST(AnswerSpeakerIntegration, AStuckSpeechDispatcherNeverKeepsTheApplicationFromQuitting)
{
    using namespace std::chrono_literals;
    // A daemon that takes the connection and never says a word.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QLocalServer stuck;
    const QString path = folder.filePath(QStringLiteral("speechd.sock"));
    ASSERT_TRUE(stuck.listen(path));
    const QByteArray address = qgetenv("SPEECHD_ADDRESS");
    qputenv("SPEECHD_ADDRESS", "unix_socket:" + path.toLocal8Bit());

    auto synthesizer =
        std::make_unique<QtSpeechSynthesizer>(QStringLiteral("speechd"), nullptr, 300ms);
    synthesizer->warmUp();
    const bool connected = stuck.waitForNewConnection(engineTimeoutMs);
    qputenv("SPEECHD_ADDRESS", address);
    ASSERT_TRUE(connected) << "the engine never reached the daemon";
    QLocalSocket *connection = stuck.nextPendingConnection();
    ASSERT_NE(connection, nullptr);

    // Should the wait have no bound, the daemon hangs up after 5 s, so the test ends all the same.
    std::atomic<bool> quit = false;
    std::thread hangUp([&quit, descriptor = int(connection->socketDescriptor())] {
        for (int i = 0; i < 50 && !quit; ++i) {
            std::this_thread::sleep_for(100ms);
        }
        ::shutdown(descriptor, SHUT_RDWR);
    });
    QElapsedTimer timer;
    timer.start();
    synthesizer.reset();
    const qint64 elapsed = timer.elapsed();
    quit = true;
    hangUp.join();
    EXPECT_LT(elapsed, 2000) << "quitting waited for the daemon";
}
