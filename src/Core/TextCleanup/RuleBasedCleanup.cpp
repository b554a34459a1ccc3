#include "Core/TextCleanup/RuleBasedCleanup.h"

#include "Base/Async.h"
#include "Base/Regex.h"
#include "Base/Unicode.h"

#include <vector>

namespace {

struct Rule
{
    Regex regex;
    QString replacementTemplate;

    QString apply(const QString &text) const { return regex.replaceAll(text, replacementTemplate); }
};

// Compiled once per process. A pattern that does not compile stops the program at first use: the
// patterns are constants, so that is a programming error.
struct Rules
{
    // The characters after which a Japanese filler may begin. The ASCII "!?" and "()" are listed
    // twice on purpose: the classes hold no full-width forms of them.
    Regex jaFillerRun {
        QStringLiteral(
            R"re((^|[\s、。!?!?()()「」『』])(?:(?:えーっと|えっと|あのー|うーん|なんか|まあ|えー)(?:、+\s*|\s+)|あの、+\s*)+)re"),
        RegexOption::AnchorsMatchLines};
    Regex jaFillerBeforePunct {
        QStringLiteral(
            R"re((^|[\s、。!?!?()()「」『』])(?:えーっと|えっと|あのー|うーん|なんか|まあ|えー)(?=[、。!?!?]|$))re"),
        RegexOption::AnchorsMatchLines};

    Regex enFillerWrapped {QStringLiteral(R"re(,\s*(?:you know|uhm|um|uh|er)\s*,)re"),
                           RegexOption::CaseInsensitive};
    Regex enFillerRun {QStringLiteral(R"re((^|[^A-Za-z0-9'’])(?:(?:uhm|um|uh|er)(?:,\s*|\s+))+)re"),
                       RegexOption::CaseInsensitive | RegexOption::AnchorsMatchLines};
    Regex enFillerBeforePunct {
        QStringLiteral(R"re((^|[^A-Za-z0-9'’])(?:uhm|um|uh|er)(?=[.,!?;:]|$))re"),
        RegexOption::CaseInsensitive | RegexOption::AnchorsMatchLines};

    // "had had", "that that", "very very" and "really really" are often meant.
    Regex duplicateWords {
        QStringLiteral(R"re(\b(?!(?:had|that|very|really)\b)([A-Za-z']+)(?:\s+\1\b)+)re"),
        RegexOption::CaseInsensitive};

    std::vector<Rule> punctuationFixes {
        // No blank or tab before punctuation.
        {Regex(QStringLiteral(R"re([ \t]+([,.!?;:、。!?]))re")), QStringLiteral("$1")},
        // Repeated commas, ideographic commas and full stops collapse to one.
        {Regex(QStringLiteral(R"re(,{2,})re")), QStringLiteral(",")},
        {Regex(QStringLiteral(R"re(、{2,})re")), QStringLiteral("、")},
        {Regex(QStringLiteral(R"re(。{2,})re")), QStringLiteral("。")},
        // A comma before other punctuation goes; so does an ideographic comma before a sentence
        // end.
        {Regex(QStringLiteral(R"re(,\s*([.!?;:]))re")), QStringLiteral("$1")},
        {Regex(QStringLiteral(R"re(、\s*([。!?!?]))re")), QStringLiteral("$1")},
        // The text does not end in a comma.
        {Regex(QStringLiteral(R"re([,、]+\s*$)re")), QString()},
    };

    std::vector<Rule> whitespaceFixes {
        {Regex(QStringLiteral(R"re([ \t]{2,})re")), QStringLiteral(" ")},
        {Regex(QStringLiteral(R"re([ \t]+\n)re")), QStringLiteral("\n")},
        {Regex(QStringLiteral(R"re(\n{3,})re")), QStringLiteral("\n\n")},
    };
};

const Rules &rules()
{
    static const Rules instance;
    return instance;
}

QString applyAll(QString text, const std::vector<Rule> &list)
{
    for (const Rule &rule : list) {
        text = rule.apply(text);
    }
    return text;
}

} // namespace

QString RuleBasedCleanup::clean(const QString &text, const QString &localeIdentifier)
{
    const Rules &r = rules();
    const QString locale = Unicode::lowercased(localeIdentifier);
    QString result = text;
    if (locale.startsWith(QLatin1String("ja"))) {
        result = r.jaFillerRun.replaceAll(result, QStringLiteral("$1"));
        result = r.jaFillerBeforePunct.replaceAll(result, QStringLiteral("$1"));
        result = removeEnglishFillers(result);
    } else if (locale.startsWith(QLatin1String("en"))) {
        result = removeEnglishFillers(result);
    }
    result = r.duplicateWords.replaceAll(result, QStringLiteral("$1"));
    result = applyAll(result, r.punctuationFixes);
    result = applyAll(result, r.whitespaceFixes);
    return Unicode::trimmedWhitespaceAndNewlines(result);
}

QString RuleBasedCleanup::removeEnglishFillers(const QString &text)
{
    const Rules &r = rules();
    QString result = r.enFillerWrapped.replaceAll(text, QStringLiteral(" "));
    result = r.enFillerRun.replaceAll(result, QStringLiteral("$1"));
    return r.enFillerBeforePunct.replaceAll(result, QStringLiteral("$1"));
}

QString RuleBasedCleanup::name() const
{
    return QStringLiteral("rules");
}

QCoro::Task<QString> RuleBasedCleanup::cleanup(QString text, CleanupContext context) const
{
    // A long transcript keeps the rules busy for a while; the main thread must not wait on them.
    // The work is a named object, not a temporary of the awaited call: GCC 12 destroys a
    // temporary argument of a coroutine call inside co_await twice.
    auto work = [text = std::move(text), locale = std::move(context.localeIdentifier)] {
        return clean(text, locale);
    };
    QString cleaned = co_await Async::runInBackground(std::move(work));
    co_return cleaned;
}
