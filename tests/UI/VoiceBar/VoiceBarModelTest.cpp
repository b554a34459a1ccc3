#include "UI/VoiceBar/VoiceBarModel.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(VoiceBarModel, PushSlidesTheWindowAndDrawsBadLevelsAsSilenceOrFullScale)
{
    struct Case
    {
        const char *name;
        float level;
        float stored;
    };
    const QList<Case> cases = {
        {"in range", 0.5f, 0.5f},
        {"above one", 1.7f, 1.0f},
        {"negative", -0.2f, 0.0f},
        {"not a number", std::numeric_limits<float>::quiet_NaN(), 0.0f},
        {"plus infinity", std::numeric_limits<float>::infinity(), 0.0f},
        {"minus infinity", -std::numeric_limits<float>::infinity(), 0.0f},
    };
    VoiceBarModel model;
    ASSERT_EQ(model.levels(), QList<float>(24, 0.0f));
    QSignalSpy changed(&model, &VoiceBarModel::levelsChanged);
    QList<float> expected(24, 0.0f);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        model.push(c.level);
        expected.removeFirst();
        expected.append(c.stored);
        EXPECT_EQ(model.levels(), expected);
    }
    EXPECT_EQ(changed.size(), cases.size()) << "one change notice per push";
    EXPECT_EQ(model.notchLevels(), expected.mid(12));

    model.reset();
    EXPECT_EQ(model.levels(), QList<float>(24, 0.0f));
}

TEST(VoiceBarModel, BarHeightsAndCountdownTexts)
{
    struct Bar
    {
        float level;
        qreal classic;
        qreal notch;
    };
    for (const Bar &bar : {Bar {0.0f, 3.0, 2.0}, Bar {1.0f, 28.0, 17.0},
                           Bar {0.5f, 3 + 25 * std::pow(0.5, 0.6), 2 + 15 * std::pow(0.5, 0.6)},
                           Bar {std::numeric_limits<float>::quiet_NaN(), 3.0, 2.0}}) {
        SCOPED_TRACE(bar.level);
        EXPECT_NEAR(VoiceBarModel::barHeight(bar.level, 25, 3), bar.classic, 1e-6);
        EXPECT_NEAR(VoiceBarModel::barHeight(bar.level, 15, 2), bar.notch, 1e-6);
    }
    EXPECT_NEAR(VoiceBarModel::barHeight(0.5f, 25, 3), 19.5, 0.05);
    EXPECT_NEAR(VoiceBarModel::barHeight(0.5f, 15, 2), 11.9, 0.05);

    for (const auto &[seconds, text] : {std::pair {75, "1:15"}, std::pair {60, "1:00"},
                                        std::pair {9, "0:09"}, std::pair {0, "0:00"}}) {
        EXPECT_EQ(VoiceBarModel::countdownText(seconds), QLatin1String(text)) << seconds;
    }
}

TEST(VoiceBarModel, ALongTranscriptKeepsItsNewestWordsBehindAnEllipsis)
{
    QFont font;
    font.setPixelSize(12);
    const QFontMetricsF metrics(font);
    const QString finalized =
        QStringLiteral("the quick brown fox jumps over the lazy dog and then ");
    const QString pending = QStringLiteral("keeps running far away");
    const qreal width = metrics.horizontalAdvance(pending) * 1.6;

    const QStringList parts = VoiceBarModel::headTruncated(finalized, pending, font, width);
    ASSERT_EQ(parts.size(), 2);
    EXPECT_TRUE(parts[0].startsWith(QChar(0x2026))) << parts[0].toStdString();
    EXPECT_EQ(parts[1], pending) << "the still-changing end must stay whole";
    EXPECT_TRUE(finalized.endsWith(parts[0].mid(1)));
    EXPECT_LE(metrics.horizontalAdvance(parts[0] + parts[1]), width + 1);

    // The volatile part alone is too long: only its end shows.
    const QStringList tight = VoiceBarModel::headTruncated(finalized, pending, font, width / 3);
    EXPECT_EQ(tight[0], QString(QChar(0x2026)));
    EXPECT_TRUE(pending.endsWith(tight[1]));
    EXPECT_FALSE(tight[1].isEmpty());

    // What fits stays as it is.
    EXPECT_EQ(
        VoiceBarModel::headTruncated(QStringLiteral("hi "), QStringLiteral("there"), font, 400),
        QStringList({"hi ", "there"}));
    EXPECT_EQ(VoiceBarModel::headTruncated(QString(), QString(), font, 0),
              QStringList({QString(), QString()}));
}
