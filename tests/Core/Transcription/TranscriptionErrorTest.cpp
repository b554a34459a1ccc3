#include "Core/Transcription/TranscriptionError.h"

#include "Base/CancelledError.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(TranscriptionErrorTest, DescriptionsComeFromTheInterfaceTexts)
{
    struct Case
    {
        TranscriptionError error;
        QString english;
        QString japanese; // its beginning
    };
    const Case cases[] = {
        {TranscriptionError::localeNotSupported(SpeechLocale(QStringLiteral("de_CH"))),
         QStringLiteral("Dictation isn’t available for the language “de_CH”. Choose the language "
                        "you speak in Settings → Dictation → Recognition language."),
         QStringLiteral("言語「de_CH」では音声入力を利用できません。")},
        {TranscriptionError::modelDownloadFailed(
             std::make_exception_ptr(std::runtime_error("disk full"))),
         QStringLiteral("The speech model couldn’t be downloaded. Check your internet connection "
                        "and try again."),
         QStringLiteral(
             "音声認識モデルをダウンロードできませんでした。インターネット接続を確認して、"
             "もう一度お試しください。")},
        {TranscriptionError::sessionFailed(
             std::make_exception_ptr(std::runtime_error("decoder crashed"))),
         QStringLiteral("Dictation stopped because of an error. Please try again."),
         QStringLiteral("エラーが発生したため音声入力を停止しました。もう一度お試しください。")},
        {TranscriptionError::recognizerUnavailable(),
         QStringLiteral("Speech recognition isn’t available right now."),
         QStringLiteral("音声認識は現在利用できません。")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.error.what());
        EXPECT_EQ(c.error.errorDescription(AppLanguage::en), c.english);
        // The Japanese texts are compared by their first sentence: the wording of the settings
        // path belongs to the translation tables.
        EXPECT_TRUE(c.error.errorDescription(AppLanguage::ja).startsWith(c.japanese))
            << c.error.errorDescription(AppLanguage::ja).toStdString();
        // The underlying error never reaches the user.
        EXPECT_FALSE(c.error.errorDescription(AppLanguage::en).contains(QStringLiteral("disk")));
    }
}

TEST(TranscriptionErrorTest, AnyEngineFailureIsShownThroughTheInterfaceTexts)
{
    const auto unavailable = std::make_exception_ptr(TranscriptionError::recognizerUnavailable());
    // A library's own failure escaping an engine, in English.
    const auto library =
        std::make_exception_ptr(std::runtime_error("pocketsphinx: cannot start an utterance"));
    for (const AppLanguage language : AppLanguage::allCases()) {
        SCOPED_TRACE(language.rawValue().toStdString());
        EXPECT_EQ(TranscriptionError::errorDescription(unavailable, language),
                  TranscriptionError::recognizerUnavailable().errorDescription(language));
        const QString sessionFailed =
            TranscriptionError::sessionFailed().errorDescription(language);
        EXPECT_EQ(TranscriptionError::errorDescription(library, language), sessionFailed);
        EXPECT_EQ(TranscriptionError::errorDescription(std::make_exception_ptr(42), language),
                  sessionFailed);
        EXPECT_FALSE(sessionFailed.contains(QStringLiteral("pocketsphinx")));
    }
    EXPECT_EQ(TranscriptionError::errorDescription(library, AppLanguage::fr),
              QStringLiteral("La dictée s’est arrêtée à cause d’une erreur. Veuillez réessayer."));
}

TEST(TranscriptionErrorTest, KeepsItsPayload)
{
    const auto underlying = std::make_exception_ptr(std::runtime_error("boom"));
    const auto failed = TranscriptionError::sessionFailed(underlying);
    EXPECT_EQ(failed.kind(), TranscriptionError::Kind::sessionFailed);
    EXPECT_EQ(failed.underlying(), underlying);
    EXPECT_STREQ(failed.what(), "TranscriptionError.sessionFailed: boom");

    const auto locale =
        TranscriptionError::localeNotSupported(SpeechLocale(QStringLiteral("fr_FR")));
    EXPECT_EQ(locale.locale().identifier(), QStringLiteral("fr_FR"));
    EXPECT_FALSE(locale.underlying());
}

TEST(TranscriptionErrorTest, RecognisesCancellation)
{
    const auto cancelled = std::make_exception_ptr(CancelledError());
    const auto other = std::make_exception_ptr(std::runtime_error("boom"));
    struct Case
    {
        const char *name;
        std::exception_ptr error;
        bool cancellation;
    };
    const Case cases[] = {
        {"plain cancellation", cancelled, true},
        {"session failure wrapping a cancellation",
         std::make_exception_ptr(TranscriptionError::sessionFailed(cancelled)), true},
        {"session failure without underlying error",
         std::make_exception_ptr(TranscriptionError::sessionFailed()), false},
        {"session failure wrapping another error",
         std::make_exception_ptr(TranscriptionError::sessionFailed(other)), false},
        {"download failure wrapping a cancellation",
         std::make_exception_ptr(TranscriptionError::modelDownloadFailed(cancelled)), false},
        {"unavailable", std::make_exception_ptr(TranscriptionError::recognizerUnavailable()),
         false},
        {"another error", other, false},
        {"no error", nullptr, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TranscriptionError::isCancellation(c.error), c.cancellation) << c.name;
    }
}
