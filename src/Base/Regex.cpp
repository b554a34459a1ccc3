#include "Base/Regex.h"

#include <QLoggingCategory>

#include <unicode/parseerr.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <algorithm>
#include <limits>

namespace {

Q_LOGGING_CATEGORY(lcRegex, "sonorvelle.regex")

const char16_t *unitsOf(const QString &text)
{
    return reinterpret_cast<const char16_t *>(text.utf16());
}

QString fromIcu(const icu::UnicodeString &s)
{
    return QString(reinterpret_cast<const QChar *>(s.getBuffer()), s.length());
}

// ICU's string class indexes with int32_t; a pattern, template or result that long is never
// built by this application.
int32_t icuLength(const QString &text)
{
    if (text.size() > std::numeric_limits<int32_t>::max()) {
        qFatal("Regex: text of %lld code units is too long for ICU", qlonglong(text.size()));
    }
    return int32_t(text.size());
}

uint32_t icuFlags(RegexOptions options)
{
    uint32_t flags = 0;
    if (options.testFlag(RegexOption::CaseInsensitive)) {
        flags |= UREGEX_CASE_INSENSITIVE;
    }
    if (options.testFlag(RegexOption::AllowCommentsAndWhitespace)) {
        flags |= UREGEX_COMMENTS;
    }
    if (options.testFlag(RegexOption::DotMatchesLineSeparators)) {
        flags |= UREGEX_DOTALL;
    }
    if (options.testFlag(RegexOption::AnchorsMatchLines)) {
        flags |= UREGEX_MULTILINE;
    }
    if (options.testFlag(RegexOption::UseUnicodeWordBoundaries)) {
        flags |= UREGEX_UWORD;
    }
    return flags;
}

QString describeCompileError(UErrorCode status)
{
    switch (status) {
    case U_REGEX_RULE_SYNTAX:
        return QStringLiteral("syntax error");
    case U_REGEX_BAD_ESCAPE_SEQUENCE:
        return QStringLiteral("unrecognised backslash escape");
    case U_REGEX_PROPERTY_SYNTAX:
        return QStringLiteral("malformed Unicode property");
    case U_REGEX_UNIMPLEMENTED:
        return QStringLiteral("unsupported construct");
    case U_REGEX_MISMATCHED_PAREN:
        return QStringLiteral("unbalanced parentheses");
    case U_REGEX_NUMBER_TOO_BIG:
        return QStringLiteral("number too big");
    case U_REGEX_BAD_INTERVAL:
        return QStringLiteral("malformed {min,max} interval");
    case U_REGEX_MAX_LT_MIN:
        return QStringLiteral("interval maximum below its minimum");
    case U_REGEX_INVALID_BACK_REF:
        return QStringLiteral("back reference to a group that does not exist");
    case U_REGEX_INVALID_FLAG:
        return QStringLiteral("invalid flag");
    case U_REGEX_LOOK_BEHIND_LIMIT:
        return QStringLiteral("look-behind without a bounded length");
    case U_REGEX_SET_CONTAINS_STRING:
        return QStringLiteral("set contains a string");
    case U_REGEX_MISSING_CLOSE_BRACKET:
        return QStringLiteral("missing closing bracket");
    case U_REGEX_INVALID_RANGE:
        return QStringLiteral("invalid range in a set");
    case U_REGEX_INVALID_CAPTURE_GROUP_NAME:
        return QStringLiteral("invalid capture group name");
    default:
        return QStringLiteral("invalid pattern");
    }
}

// The time limit of one call, in ICU's units (each thousands of matching steps, counted the same
// on every machine): a floor for short texts, then one unit per 256 code units. The application's
// patterns take at most about one unit per 3,500 code units of ordinary dictated text, so only a
// search that backtracks over long runs from many start positions reaches the limit.
int32_t timeLimitFor(qsizetype length)
{
    constexpr qsizetype floorUnits = 32;
    constexpr qsizetype codeUnitsPerUnit = 256;
    return int32_t(std::min<qsizetype>(floorUnits + length / codeUnitsPerUnit,
                                       std::numeric_limits<int32_t>::max()));
}

// Whether a search ended at one of ICU's limits rather than by a fault.
bool wasAbandoned(UErrorCode status)
{
    return status == U_REGEX_TIME_OUT || status == U_REGEX_STACK_OVERFLOW;
}

void setComplete(bool *complete, bool value)
{
    if (complete) {
        *complete = value;
    }
}

// Reads the matcher's current match. The subject is the searched text.
RegexMatch currentMatch(const icu::RegexMatcher &matcher, const QString &subject)
{
    UErrorCode status = U_ZERO_ERROR;
    RegexMatch match;
    match.subject = subject;
    const int32_t groupCount = matcher.groupCount();
    match.groups.reserve(groupCount + 1);
    for (int32_t group = 0; group <= groupCount; ++group) {
        const int64_t start = matcher.start64(group, status);
        const int64_t end = matcher.end64(group, status);
        if (U_FAILURE(status) || start < 0) {
            match.groups.append({-1, 0});
            status = U_ZERO_ERROR;
        } else {
            match.groups.append({qsizetype(start), qsizetype(end - start)});
        }
    }
    match.start = match.groups[0].first;
    match.length = match.groups[0].second;
    return match;
}

} // namespace

struct Regex::Compiled
{
    QString source;
    RegexOptions options;
    std::unique_ptr<icu::RegexPattern> pattern;
    int groupCount = 0;

    static std::shared_ptr<const Compiled> make(const QString &source, RegexOptions options,
                                                QString *error)
    {
        auto compiled = std::make_shared<Compiled>();
        compiled->source = source;
        compiled->options = options;
        const icu::UnicodeString patternText(unitsOf(source), icuLength(source));
        UParseError parseError {};
        UErrorCode status = U_ZERO_ERROR;
        compiled->pattern.reset(
            icu::RegexPattern::compile(patternText, icuFlags(options), parseError, status));
        if (U_FAILURE(status) || !compiled->pattern) {
            if (error) {
                QString where;
                if (parseError.line > 0 || parseError.offset > 0) {
                    where = QStringLiteral(" at line %1, column %2")
                                .arg(parseError.line)
                                .arg(parseError.offset + 1);
                }
                *error = QStringLiteral("Invalid regular expression \"%1\": %2 (%3)%4")
                             .arg(source, describeCompileError(status),
                                  QString::fromLatin1(u_errorName(status)), where);
            }
            return nullptr;
        }
        compiled->groupCount = int(compiled->matcher(QString())->groupCount());
        return compiled;
    }

    // A matcher of its own over `text`, which must outlive it. Matchers are not shared between
    // calls, so any number of threads can search with the same compiled pattern at once.
    std::unique_ptr<icu::RegexMatcher> matcher(const QString &text) const
    {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> result(pattern->matcher(status));
        if (U_SUCCESS(status) && result) {
            UText input = UTEXT_INITIALIZER;
            utext_openUChars(&input, unitsOf(text), text.size(), &status);
            // The matcher keeps a shallow clone of the UText, which points at text's buffer.
            result->reset(&input);
            utext_close(&input);
            result->setTimeLimit(timeLimitFor(text.size()), status);
        }
        if (U_FAILURE(status) || !result) {
            qFatal("Regex: cannot create a matcher for \"%s\": %s", qPrintable(source),
                   u_errorName(status));
        }
        return result;
    }

    // Logs why a call over a text of `length` code units stopped early. The text itself is the
    // user's dictation and stays out of the log.
    void reportFailure(const char *what, UErrorCode status, qsizetype length) const
    {
        if (wasAbandoned(status)) {
            qCWarning(lcRegex).nospace() << what << " " << source << " abandoned on a text of "
                                         << length << " code units: " << u_errorName(status);
        } else {
            qCWarning(lcRegex) << what << source << "failed:" << u_errorName(status);
        }
    }
};

bool RegexMatch::participated(int group) const
{
    return group >= 0 && group < groups.size() && groups[group].first >= 0;
}

QString RegexMatch::captured(int group) const
{
    if (!participated(group)) {
        return QString();
    }
    return subject.mid(groups[group].first, groups[group].second);
}

Regex::Regex(std::shared_ptr<const Compiled> compiled)
    : d(std::move(compiled))
{ }

Regex::Regex(const QString &pattern, RegexOptions options)
{
    QString error;
    d = Compiled::make(pattern, options, &error);
    if (!d) {
        qFatal("%s", qPrintable(error));
    }
}

std::optional<Regex> Regex::compile(const QString &pattern, RegexOptions options, QString *error)
{
    auto compiled = Compiled::make(pattern, options, error);
    if (!compiled) {
        return std::nullopt;
    }
    if (error) {
        error->clear();
    }
    return Regex(std::move(compiled));
}

QString Regex::pattern() const
{
    return d->source;
}

RegexOptions Regex::options() const
{
    return d->options;
}

int Regex::captureGroupCount() const
{
    return d->groupCount;
}

bool Regex::hasMatch(const QString &text, bool *complete) const
{
    return firstMatch(text, 0, complete).has_value();
}

std::optional<RegexMatch> Regex::firstMatch(const QString &text, qsizetype from,
                                            bool *complete) const
{
    setComplete(complete, true);
    if (from < 0 || from > text.size()) {
        return std::nullopt;
    }
    auto matcher = d->matcher(text);
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher->find(int64_t(from), status);
    if (U_FAILURE(status)) {
        d->reportFailure("Matching", status, text.size());
        setComplete(complete, false);
        return std::nullopt;
    }
    if (!found) {
        return std::nullopt;
    }
    return currentMatch(*matcher, text);
}

QList<RegexMatch> Regex::allMatches(const QString &text, bool *complete) const
{
    QList<RegexMatch> matches;
    auto matcher = d->matcher(text);
    UErrorCode status = U_ZERO_ERROR;
    while (matcher->find(status)) {
        matches.append(currentMatch(*matcher, text));
    }
    if (U_FAILURE(status)) {
        d->reportFailure("Matching", status, text.size());
    }
    setComplete(complete, U_SUCCESS(status));
    return matches;
}

qsizetype Regex::countMatches(const QString &text, bool *complete) const
{
    qsizetype count = 0;
    auto matcher = d->matcher(text);
    UErrorCode status = U_ZERO_ERROR;
    while (matcher->find(status)) {
        ++count;
    }
    if (U_FAILURE(status)) {
        d->reportFailure("Matching", status, text.size());
    }
    setComplete(complete, U_SUCCESS(status));
    return count;
}

QString Regex::replace(const QString &text, const QString &replacementTemplate, bool all,
                       bool *complete) const
{
    setComplete(complete, false);
    auto matcher = d->matcher(text);
    const icu::UnicodeString replacement(false, unitsOf(replacementTemplate),
                                         icuLength(replacementTemplate));
    icu::UnicodeString result;
    UErrorCode status = U_ZERO_ERROR;
    bool replacedAny = false;
    while (matcher->find(status)) {
        matcher->appendReplacement(result, replacement, status);
        if (U_FAILURE(status)) {
            break;
        }
        replacedAny = true;
        if (!all) {
            break;
        }
    }
    if (U_FAILURE(status)) {
        // A half-replaced text would be wrong in a way nobody could see; keep the input whole.
        if (wasAbandoned(status)) {
            d->reportFailure("Replacing", status, text.size());
        } else {
            qCCritical(lcRegex) << "Replacing" << d->source << "with template"
                                << replacementTemplate << "failed:" << u_errorName(status);
        }
        return text;
    }
    setComplete(complete, true);
    if (!replacedAny) {
        return text;
    }
    matcher->appendTail(result);
    return fromIcu(result);
}

QString Regex::replaceAll(const QString &text, const QString &replacementTemplate,
                          bool *complete) const
{
    return replace(text, replacementTemplate, true, complete);
}

QString Regex::replaceFirst(const QString &text, const QString &replacementTemplate,
                            bool *complete) const
{
    return replace(text, replacementTemplate, false, complete);
}

QString Regex::replaceAll(const QString &text,
                          const std::function<QString(const RegexMatch &)> &replacement,
                          bool *complete) const
{
    setComplete(complete, false);
    auto matcher = d->matcher(text);
    UErrorCode status = U_ZERO_ERROR;
    QString result;
    qsizetype copiedUpTo = 0;
    bool replacedAny = false;
    while (matcher->find(status)) {
        replacedAny = true;
        const RegexMatch match = currentMatch(*matcher, text);
        result.append(QStringView(text).mid(copiedUpTo, match.start - copiedUpTo));
        result.append(replacement(match));
        copiedUpTo = match.end();
    }
    if (U_FAILURE(status)) {
        d->reportFailure("Replacing", status, text.size());
        return text;
    }
    setComplete(complete, true);
    if (!replacedAny) {
        return text;
    }
    result.append(QStringView(text).mid(copiedUpTo));
    return result;
}

QString Regex::escapedPattern(const QString &literal)
{
    QString result;
    result.reserve(literal.size() * 2);
    for (const QChar c : literal) {
        const char16_t u = c.unicode();
        const bool asciiWordCharacter = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')
            || (u >= u'0' && u <= u'9') || u == u'_';
        if (u < 0x20 || u == 0x7F || u == 0x85 || u == 0x200E || u == 0x200F || u == 0x2028
            || u == 0x2029) {
            // Controls and the pattern white space that free-spacing mode would drop are
            // written as code point escapes.
            result.append(QStringLiteral("\\x{%1}").arg(uint(u), 0, 16));
        } else if (u < 0x80 && !asciiWordCharacter) {
            // A backslash before any character other than a letter or digit makes it literal,
            // so every ASCII punctuation mark and the space are quoted, metacharacter or not.
            result.append(u'\\');
            result.append(c);
        } else {
            result.append(c);
        }
    }
    return result;
}

QString Regex::escapedTemplate(const QString &literal)
{
    QString result;
    result.reserve(literal.size() + 8);
    for (const QChar c : literal) {
        if (c == u'$' || c == u'\\') {
            result.append(u'\\');
        }
        result.append(c);
    }
    return result;
}
