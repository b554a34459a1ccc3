#include "Base/RelativeDateFormatter.h"

#include <gtest/gtest.h>

TEST(RelativeDateFormatter, TheLargestWholeUnitInTheChosenLanguage)
{
    const QDateTime now(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC);
    struct Case
    {
        const char *language;
        qint64 seconds;
        QString expected;
    };
    const Case cases[] = {
        {"en", -300, QStringLiteral("5 min. ago")},
        {"en", -89, QStringLiteral("1 min. ago")},
        {"en", -59, QStringLiteral("59 sec. ago")},
        {"en", 0, QStringLiteral("in 0 sec.")},
        {"en", 2 * 86400 + 5, QStringLiteral("in 2 days")},
        {"en", -3 * 3600, QStringLiteral("3 hr. ago")},
        {"en", -15 * 86400, QStringLiteral("2 wk. ago")},
        {"en", -400 * 86400, QStringLiteral("1 yr. ago")},
        {"ja", -300, QStringLiteral("5 分前")},
        {"de", -300, QStringLiteral("vor 5 Min.")},
    };
    for (const Case &c : cases) {
        RelativeDateFormatter formatter;
        formatter.setLocale(QString::fromLatin1(c.language));
        EXPECT_EQ(formatter.string(now.addSecs(c.seconds), now), c.expected)
            << c.language << " " << c.seconds;
    }
    EXPECT_EQ(RelativeDateFormatter().string(QDateTime(), now), QString());
}
