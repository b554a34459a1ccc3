#include "UI/AnswerCard/AnswerSpeaker.h"

#include "Base/ManualClock.h"
#include "Core/DebugLogCapture.h"
#include "Fakes/FakeLanguageRecognizer.h"
#include "Fakes/FakeSpeechSynthesizer.h"
#include "Fakes/TestAppSettings.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Voice = SpeechSynthesizer::Voice;

namespace {

struct SpeakerRig
{
    TestAppSettings settings {true};
    FakeSpeechSynthesizer synthesizer;
    FakeLanguageRecognizer recognizer;
    ManualClock clock;
    AnswerSpeaker speaker {{&synthesizer, &recognizer, settings.settings.get(), &clock}};
    QSignalSpy changes {&speaker, &AnswerSpeaking::isSpeakingChanged};
    QSignalSpy failures {&speaker, &AnswerSpeaker::failed};
};

} // namespace

TEST(AnswerSpeaker, TheFirstVoiceWhoseLanguageSharesTheTwoLetterPrefixWins)
{
    const QList<Voice> voices = {
        {QStringLiteral("Deutsch"), QStringLiteral("de-DE")},
        {QStringLiteral("English (America)"), QStringLiteral("en-US")},
        {QStringLiteral("English (Great Britain)"), QStringLiteral("en-GB")},
        {QStringLiteral("Chinese (Mandarin)"), QStringLiteral("zh-CN")},
    };
    struct Case
    {
        QString language;
        std::optional<QString> voice;
    };
    const Case cases[] = {
        {QStringLiteral("en"), QStringLiteral("English (America)")},
        {QStringLiteral("en_GB"), QStringLiteral("English (America)")},
        {QStringLiteral("de_DE"), QStringLiteral("Deutsch")},
        {QStringLiteral("zh-Hant"), QStringLiteral("Chinese (Mandarin)")},
        {QStringLiteral("ja"), std::nullopt},
        {QStringLiteral("e"), QStringLiteral("English (America)")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.language.toStdString());
        const auto chosen = AnswerSpeaker::voiceFor(c.language, voices);
        EXPECT_EQ(chosen ? std::optional(chosen->name) : std::nullopt, c.voice);
    }
    EXPECT_FALSE(AnswerSpeaker::voiceFor(QStringLiteral("en"), {}).has_value());
}

TEST(AnswerSpeaker, SpeaksInTheVoiceOfTheRecognisedLanguageElseOfTheRecognitionLocale)
{
    SpeakerRig rig;
    rig.synthesizer.installed = {{QStringLiteral("Deutsch"), QStringLiteral("de")},
                                 {QStringLiteral("English"), QStringLiteral("en-US")}};

    rig.recognizer.language = QStringLiteral("en");
    rig.speaker.speak(QStringLiteral("It is sunny."));
    EXPECT_TRUE(rig.speaker.isSpeaking());
    rig.synthesizer.end();
    EXPECT_FALSE(rig.speaker.isSpeaking());

    // Not recognised: the recognition locale of the settings decides.
    rig.recognizer.language.clear();
    rig.settings.settings->setSpeechLocaleID(QStringLiteral("de_DE"));
    rig.speaker.speak(QStringLiteral("42"));
    rig.synthesizer.end();

    // No installed voice of the language: the system's voice for the whole identifier.
    rig.recognizer.language = QStringLiteral("ja");
    rig.speaker.speak(QStringLiteral("晴れです。"));
    rig.synthesizer.end();

    EXPECT_EQ(rig.synthesizer.calls,
              QStringList({
                  "say It is sunny. | English | en",
                  "say 42 | Deutsch | de_DE",
                  "say 晴れです。 | - | ja",
              }));
    EXPECT_EQ(rig.changes.count(), 6);
    EXPECT_EQ(rig.failures.count(), 0);
}

TEST(AnswerSpeaker, StopEndsAtOnceAndALateReportOfStoppedSpeechLeavesTheNextOneSpeaking)
{
    SpeakerRig rig;
    rig.recognizer.language = QStringLiteral("en");

    // Silent: nothing reaches the synthesizer.
    rig.speaker.stop();
    EXPECT_EQ(rig.synthesizer.stops, 0);

    rig.speaker.speak(QStringLiteral("first answer"));
    rig.speaker.stop();
    EXPECT_FALSE(rig.speaker.isSpeaking());
    EXPECT_EQ(rig.synthesizer.stops, 1);

    // Read again before the cancel of the first reading was reported.
    rig.speaker.speak(QStringLiteral("second answer"));
    ASSERT_TRUE(rig.speaker.isSpeaking());
    rig.synthesizer.end();
    EXPECT_TRUE(rig.speaker.isSpeaking()) << "the late report ended the newer reading";
    rig.synthesizer.end();
    EXPECT_FALSE(rig.speaker.isSpeaking());

    // A report with nothing outstanding changes nothing.
    rig.synthesizer.end();
    EXPECT_FALSE(rig.speaker.isSpeaking());
    EXPECT_EQ(rig.changes.count(), 4);
    EXPECT_EQ(rig.failures.count(), 0);
}

TEST(AnswerSpeaker, SpeechThatNeverEndsIsStoppedByAWatchdogThatGrowsWithTheText)
{
    EXPECT_EQ(AnswerSpeaker::watchdogFor(QString()), 10s);
    EXPECT_EQ(AnswerSpeaker::watchdogFor(QString(100, QLatin1Char('a'))), 25s);

    SpeakerRig rig;
    DebugLogCapture log;
    rig.recognizer.language = QStringLiteral("en");
    const QString text(100, QLatin1Char('a'));
    rig.speaker.speak(text);
    rig.clock.advance(25s - 1ms);
    EXPECT_TRUE(rig.speaker.isSpeaking());
    rig.clock.advance(1ms);
    EXPECT_FALSE(rig.speaker.isSpeaking());
    EXPECT_EQ(rig.failures.count(), 1);
    EXPECT_EQ(rig.synthesizer.stops, 1);
    EXPECT_FALSE(log.messages().filter(QStringLiteral("speech: ")).isEmpty());

    // The engine's report of the abandoned reading, when it finally comes, touches nothing; the
    // next reading ends by its own report, and its watchdog no longer runs afterwards.
    rig.speaker.speak(QStringLiteral("next"));
    rig.synthesizer.end();
    EXPECT_FALSE(rig.speaker.isSpeaking());
    rig.clock.advance(60s);
    EXPECT_EQ(rig.failures.count(), 1);
    EXPECT_EQ(rig.clock.activeTimerCount(), 0);

    // A failure the engine reports ends the reading as a failure.
    rig.speaker.speak(QStringLiteral("broken"));
    rig.synthesizer.end(true);
    EXPECT_FALSE(rig.speaker.isSpeaking());
    EXPECT_EQ(rig.failures.count(), 2);
}
