#include "Core/TextCleanup/CleanupPrompt.h"

#include <gtest/gtest.h>

#include "TestSupport/QtPrinters.h"

#include <functional>

namespace {

// The base texts as the model must read them, each followed by the language line of an empty
// locale (the one section that is always there).
const QString systemBase = QString::fromUtf16(
    u"You are a dictation cleanup engine inside a voice input app. The user message is a raw "
    u"speech-to-text transcript (Japanese, English, or mixed). Rewrite it into polished text ready "
    u"to be inserted where the user is typing.\n"
    u"- Remove filler words (um, uh, uhm, er, you know, えっと, えーっと, あのー, えー, うーん, "
    u"まあ, なんか).\n"
    u"- Remove unnecessary repeated words.\n"
    u"- When the speaker corrects themselves mid-sentence, keep only the final intended wording "
    u"(言い直しがある場合は最終的な意図のみを残す).\n"
    u"- Fix punctuation, capitalization, and spacing. Japanese text uses 句読点(、。).\n"
    u"- Format spoken lists, steps, and key points as clean structured text.\n"
    u"- Preserve the speaker's language, meaning, and register. Do not translate, do not answer "
    u"questions in the transcript, and do not add new content — this is cleanup, not a "
    u"conversation.\n"
    u"- Output ONLY the cleaned text, with no preamble, quotes, or explanation.");

const QString polishBase = QString::fromUtf16(
    u"You are the final formatting pass inside a voice input app. The user message is an "
    u"ALREADY-CLEANED dictation transcript (fillers and self-corrections were removed by a "
    u"previous stage).\n"
    u"Your job is presentation only:\n"
    u"- Format spoken enumerations as bullet/numbered lists when clearly intended.\n"
    u"- Normalize punctuation and spacing (Japanese uses 、。).\n"
    u"- Apply the user's style rules below, if any.\n"
    u"STRICT LIMITS — violating these is worse than doing nothing:\n"
    u"- Do NOT add, remove, or replace words. No synonyms, no translation, no honorific changes, "
    u"no answering questions in the text.\n"
    u"- If no formatting improvement is clearly needed, return the input EXACTLY as is.\n"
    u"- Output ONLY the resulting text, no preamble or explanation.");

const QString rewriteBase = QString::fromUtf16(
    u"You are the final rewriting pass inside a voice input app. The user message is an "
    u"already-cleaned dictation transcript. Rewrite it into polished, natural written Japanese (or "
    u"the text's own language) suitable for its destination.\n"
    u"- Improve word choice and flow (e.g. casual verbs → appropriate written forms).\n"
    u"- Spoken Japanese often adds modifiers as afterthoughts, sometimes as a separate sentence "
    u"(「〜です。〜と比べてです。」「〜します。明日ですが。」). MERGE such afterthought fragments "
    u"into the main sentence at their natural position.\n"
    u"- Keep the meaning, facts, numbers, names, and politeness level EXACTLY. Every number, "
    u"product name, and proper noun in the input MUST appear in the output.\n"
    u"- Use ONLY words grounded in the input: do not expand vague words (とか/など) into concrete "
    u"items the speaker did not say, and do not add examples, categories, or explanations of your "
    u"own. Do not answer questions in the text.\n"
    u"- Format enumerations as lists when clearly intended.\n"
    u"- Output ONLY the resulting text, no preamble or explanation.");

struct Style
{
    const char *name;
    std::function<QString(const CleanupContext &)> compose;
    const QString &base;
    qsizetype baseUtf8Bytes;
};

const Style styles[] = {
    {"system", &CleanupPrompt::system, systemBase, 957},
    {"polishSystem", &CleanupPrompt::polishSystem, polishBase, 732},
    {"rewriteSystem", &CleanupPrompt::rewriteSystem, rewriteBase, 1073},
};

// What follows the base text.
QString sections(const Style &style, const CleanupContext &context)
{
    const QString prompt = style.compose(context);
    EXPECT_TRUE(prompt.startsWith(style.base)) << style.name;
    return prompt.mid(style.base.size());
}

} // namespace

TEST(CleanupPrompt, BaseTextsByteForByte)
{
    for (const Style &style : styles) {
        EXPECT_EQ(style.base.toUtf8().size(), style.baseUtf8Bytes) << style.name;
        // Lines joined by single line feeds, none at the end.
        EXPECT_FALSE(style.base.endsWith(QLatin1Char('\n'))) << style.name;
        EXPECT_FALSE(style.base.contains(QLatin1Char('\r'))) << style.name;
    }
    const CleanupContext empty;
    EXPECT_EQ(CleanupPrompt::system(empty),
              systemBase + QStringLiteral("\nTranscript language hint: ."));
    EXPECT_EQ(CleanupPrompt::polishSystem(empty),
              polishBase + QStringLiteral("\nText language hint: ."));
    EXPECT_EQ(CleanupPrompt::rewriteSystem(empty),
              rewriteBase + QStringLiteral("\nText language hint: ."));
}

TEST(CleanupPrompt, EverySectionInOrderTrimmedPerStyle)
{
    CleanupContext context;
    context.localeIdentifier = QStringLiteral("ja-JP");
    context.focus = FocusContext {};
    context.focus->appName = QStringLiteral("  Mail \n");
    context.focus->windowTitle = QStringLiteral("Inbox");
    context.customInstructions =
        QStringLiteral("\n\n  Use the polite form.\n  Keep lists short.  \n\n");
    // An empty term is left out; a blank one is kept as it is, and so are duplicates.
    context.dictionaryTerms = {QStringLiteral("Sonorvelle"), QString(), QStringLiteral(" "),
                               QStringLiteral("Kubernetes"), QStringLiteral("Sonorvelle")};
    // Never part of the instructions.
    context.personalize = true;
    context.composedContext = QStringLiteral("Earlier text in the field");

    const QString rules = QStringLiteral("Use the polite form.\n  Keep lists short.");
    const QString expected[] = {
        QStringLiteral("\nTranscript language hint: ja-JP.") //
            + QStringLiteral("\nThe text will be inserted into the app \"Mail\". Match the tone "
                             "people typically use in that app (formal for mail/documents, casual "
                             "for chat).")
            + QStringLiteral("\nUser style rules:\n") + rules
            + QStringLiteral("\nPrefer these exact spellings when the words appear: Sonorvelle,  "
                             ", Kubernetes, Sonorvelle."),
        QStringLiteral("\nText language hint: ja-JP.") //
            + QStringLiteral("\nThe text will be inserted into the app \"Mail\" \u2014 prefer "
                             "formatting conventions typical for that app.")
            + QStringLiteral("\nUser style rules (apply only where they concern "
                             "formatting/tone):\n")
            + rules,
        QStringLiteral("\nText language hint: ja-JP.") //
            + QStringLiteral("\nThe text will be inserted into \"Mail\" \u2014 match the tone "
                             "people typically use there (formal for mail/documents, casual for "
                             "chat).")
            + QStringLiteral("\nUser style rules:\n") + rules
            + QStringLiteral("\nPrefer these exact spellings: Sonorvelle,  , Kubernetes, "
                             "Sonorvelle."),
    };
    for (size_t i = 0; i < std::size(styles); ++i) {
        EXPECT_EQ(sections(styles[i], context), expected[i]) << styles[i].name;
    }
}

TEST(CleanupPrompt, SectionsWithoutContentAreLeftOut)
{
    struct Case
    {
        const char *name;
        std::function<void(CleanupContext &)> setUp;
    };
    const Case cases[] = {
        {"no focus",
         [](CleanupContext &) {
         }},
        {"focus without an application name",
         [](CleanupContext &c) {
             c.focus = FocusContext {};
             c.focus->bundleID = QStringLiteral("org.example.Mail");
         }},
        {"application name of blanks and line breaks",
         [](CleanupContext &c) {
             c.focus = FocusContext {};
             c.focus->appName = QStringLiteral(" \t\u3000\n ");
         }},
        {"style rules of white space only",
         [](CleanupContext &c) {
             c.customInstructions = QStringLiteral("\n  \t\n\u3000");
         }},
        {"dictionary terms that are all empty",
         [](CleanupContext &c) {
             c.dictionaryTerms = {QString(), QString()};
         }},
    };
    const QString languageLine[] = {QStringLiteral("\nTranscript language hint: en-US."),
                                    QStringLiteral("\nText language hint: en-US."),
                                    QStringLiteral("\nText language hint: en-US.")};
    for (const Case &c : cases) {
        CleanupContext context;
        context.localeIdentifier = QStringLiteral("en-US");
        c.setUp(context);
        for (size_t i = 0; i < std::size(styles); ++i) {
            EXPECT_EQ(sections(styles[i], context), languageLine[i])
                << c.name << " (" << styles[i].name << ")";
        }
    }
}

TEST(CleanupPrompt, LocaleIsInsertedUnchangedAndNamesAreTrimmedOfAnyWhiteSpace)
{
    CleanupContext context;
    context.localeIdentifier = QStringLiteral(" zh_Hant-TW ");
    context.focus = FocusContext {};
    context.focus->appName = QStringLiteral("\u3000メール\t");
    EXPECT_EQ(sections(styles[1], context),
              QStringLiteral("\nText language hint:  zh_Hant-TW ."
                             "\nThe text will be inserted into the app \"メール\" \u2014 prefer "
                             "formatting conventions typical for that app."));
}
