#include "Core/TextCleanup/CleanupPrompt.h"

#include "Base/Unicode.h"

#include <QStringList>

namespace CleanupPrompt {

namespace {

// The base texts are the model's standing orders; a changed byte changes what every user gets.
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

// The lead-ins and closing texts of the sections, one set per style. Absent parts are sections
// the style does not have.
struct Sections
{
    const char16_t *languageLeadIn;
    const char16_t *destinationLeadIn;
    const char16_t *destinationTail;
    const char16_t *styleRulesLeadIn;
    const char16_t *spellingsLeadIn;
};

const Sections systemSections {
    u"\nTranscript language hint: ",
    u"\nThe text will be inserted into the app \"",
    u"\". Match the tone people typically use in that app (formal for mail/documents, casual for "
    u"chat).",
    u"\nUser style rules:\n",
    u"\nPrefer these exact spellings when the words appear: ",
};

const Sections polishSections {
    u"\nText language hint: ",
    u"\nThe text will be inserted into the app \"",
    u"\" \u2014 prefer formatting conventions typical for that app.",
    u"\nUser style rules (apply only where they concern formatting/tone):\n",
    nullptr,
};

const Sections rewriteSections {
    u"\nText language hint: ",
    u"\nThe text will be inserted into \"",
    u"\" \u2014 match the tone people typically use there (formal for mail/documents, casual for "
    u"chat).",
    u"\nUser style rules:\n",
    u"\nPrefer these exact spellings: ",
};

QString compose(const QString &base, const Sections &sections, const CleanupContext &context)
{
    QString prompt = base;
    prompt += QString::fromUtf16(sections.languageLeadIn) + context.localeIdentifier
        + QStringLiteral(".");

    if (context.focus && context.focus->appName) {
        const QString appName = Unicode::trimmedWhitespaceAndNewlines(*context.focus->appName);
        if (!appName.isEmpty()) {
            prompt += QString::fromUtf16(sections.destinationLeadIn) + appName
                + QString::fromUtf16(sections.destinationTail);
        }
    }

    const QString rules = Unicode::trimmedWhitespaceAndNewlines(context.customInstructions);
    if (!rules.isEmpty()) {
        prompt += QString::fromUtf16(sections.styleRulesLeadIn) + rules;
    }

    if (sections.spellingsLeadIn) {
        // A term is left out only when empty: a term of blanks is the user's own entry.
        QStringList terms;
        for (const QString &term : context.dictionaryTerms) {
            if (!term.isEmpty()) {
                terms.append(term);
            }
        }
        if (!terms.isEmpty()) {
            prompt += QString::fromUtf16(sections.spellingsLeadIn)
                + terms.join(QStringLiteral(", ")) + QStringLiteral(".");
        }
    }
    return prompt;
}

} // namespace

QString system(const CleanupContext &context)
{
    return compose(systemBase, systemSections, context);
}

QString polishSystem(const CleanupContext &context)
{
    return compose(polishBase, polishSections, context);
}

QString rewriteSystem(const CleanupContext &context)
{
    return compose(rewriteBase, rewriteSections, context);
}

} // namespace CleanupPrompt
