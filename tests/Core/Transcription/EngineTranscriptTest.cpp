#include "Core/Transcription/EngineTranscript.h"

#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

TEST(EngineTranscriptTest, ProvisionalTextReplacesAndFinalTextAppends)
{
    EngineTranscript transcript;
    transcript.apply(EngineUpdate::makeVolatile(QStringLiteral("he")));
    transcript.apply(EngineUpdate::makeVolatile(QStringLiteral("hello")));
    EXPECT_EQ(transcript.live(), QStringLiteral("hello"));
    transcript.apply(EngineUpdate::makeFinalized(QStringLiteral("Hello.")));
    EXPECT_EQ(transcript.provisional(), QString());
    transcript.apply(EngineUpdate::makeVolatile(QStringLiteral(" how")));
    EXPECT_EQ(transcript.live(), QStringLiteral("Hello. how"));
    EXPECT_EQ(transcript.settled(), QStringLiteral("Hello."));
}
