#include "Platform/Cld2/Cld2LanguageRecognizer.h"

#include <gtest/gtest.h>

TEST(Cld2LanguageRecognizer, FindsTheLanguageOfAnAnswerOrNone)
{
    struct Case
    {
        const char *name;
        QString text;
        QString language;
    };
    const Case cases[] = {
        {"English",
         QStringLiteral("The meeting moved to Thursday afternoon because the room was "
                        "booked for the whole morning."),
         QStringLiteral("en")},
        {"German",
         QStringLiteral("Das Treffen wurde auf Donnerstagnachmittag verschoben, weil der "
                        "Raum den ganzen Vormittag belegt war."),
         QStringLiteral("de")},
        {"Japanese",
         QStringLiteral("会議は部屋が午前中ずっと予約されていたため、木曜日の午後に変更"
                        "されました。"),
         QStringLiteral("ja")},
        // CLD2's own code for Hebrew is the withdrawn "iw".
        {"Hebrew",
         QStringLiteral("הפגישה נדחתה ליום חמישי אחר הצהריים כי החדר היה תפוס כל "
                        "הבוקר."),
         QStringLiteral("he")},
        {"empty", QString(), QString()},
        {"digits only", QStringLiteral("12 345 678"), QString()},
        // An unpaired surrogate is no valid UTF-8; it must not reach CLD2 as such.
        {"broken text",
         QString(QChar(0xD800))
             + QStringLiteral(" The meeting moved to Thursday "
                              "afternoon, the room was booked."),
         QStringLiteral("en")},
    };
    Cld2LanguageRecognizer recognizer;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(recognizer.dominantLanguage(c.text), c.language);
    }
}
