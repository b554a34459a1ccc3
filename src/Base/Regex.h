#pragma once

#include <QFlags>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

// Compile-time options of a Regex, the same as the platform regular-expression options of the
// same names (each is the ICU flag noted).
enum class RegexOption {
    CaseInsensitive = 1, // UREGEX_CASE_INSENSITIVE: full Unicode case folding
    AllowCommentsAndWhitespace = 2, // UREGEX_COMMENTS: white space ignored, "#" starts a comment
    DotMatchesLineSeparators = 4, // UREGEX_DOTALL
    AnchorsMatchLines = 8, // UREGEX_MULTILINE: "^" and "$" match at every line
    UseUnicodeWordBoundaries = 16, // UREGEX_UWORD: "\b" follows the Unicode word-break rules
};
Q_DECLARE_FLAGS(RegexOptions, RegexOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(RegexOptions)

// One match of a Regex in a subject text. Offsets and lengths are in UTF-16 code units (QChar),
// like QString's own.
struct RegexMatch
{
    // The whole match.
    qsizetype start = 0;
    qsizetype length = 0;
    // (start, length) of every group, indexed by group number: groups[0] is the whole match,
    // groups[1] the first capture group, and so on. A group that did not take part in the match
    // is (-1, 0).
    QList<std::pair<qsizetype, qsizetype>> groups;
    // The text that was searched (implicitly shared, not copied).
    QString subject;

    qsizetype end() const { return start + length; }
    // The number of capture groups of the expression (not counting group 0).
    int groupCount() const { return int(groups.size()) - 1; }
    // Whether the group took part in the match; false for a group number out of range.
    bool participated(int group) const;
    // The text of the group (0 = the whole match); a null QString for a group that did not take
    // part or does not exist.
    QString captured(int group = 0) const;
};

// An ICU regular expression, compiled once and safe to use from any number of threads at the same
// time (each call makes its own matcher on the shared compiled pattern). Syntax and matching are
// ICU's: "\s", "\w", "\d" and "\b" know Unicode, case-insensitive matching folds full Unicode
// case, and replacement templates are ICU's (below).
//
// Every call is bounded. A backtracking engine spends time quadratic (or worse) in the subject's
// length on some patterns and inputs, such as a long run of blanks tested against "[ \t]+," at
// every start position, and the subjects here are dictated text, which nobody vets. So each call
// may take a number of ICU's matching steps that grows linearly with the subject (a floor, plus
// more than ten times what the application's patterns take on ordinary text), and ICU's own
// limit on its backtracking memory; a call that would take more is abandoned: a search then
// reports what it had found before, a replacement returns the text unchanged, and `complete`
// (where given) is set to false. A quadratic search thus stops within milliseconds for a text of
// 10,000 characters.
class Regex
{
public:
    // For patterns written in code, which are known to be valid: an invalid one is a programming
    // error and stops the program with a message naming the pattern and the fault.
    explicit Regex(const QString &pattern, RegexOptions options = {});

    // For patterns built at run time. Returns nothing for an invalid pattern, and when `error` is
    // given sets it to a readable description (what is wrong and where).
    static std::optional<Regex> compile(const QString &pattern, RegexOptions options = {},
                                        QString *error = nullptr);

    QString pattern() const;
    RegexOptions options() const;
    // The number of capture groups.
    int captureGroupCount() const;

    // Each operation below sets `complete`, when given, to whether it ran to its end: false when
    // it was abandoned at its limit (or failed), true otherwise.

    bool hasMatch(const QString &text, bool *complete = nullptr) const;
    // The first match that starts at or after `from` (a code-unit offset). The text before `from`
    // is still seen by look-behind, "\b" and "^". Nothing when `from` is outside [0, text.size()].
    std::optional<RegexMatch> firstMatch(const QString &text, qsizetype from = 0,
                                         bool *complete = nullptr) const;
    // Every non-overlapping match, left to right. After an empty match the search resumes one
    // scalar further on. An abandoned search yields the matches found before it stopped.
    QList<RegexMatch> allMatches(const QString &text, bool *complete = nullptr) const;
    qsizetype countMatches(const QString &text, bool *complete = nullptr) const;

    // Replacement templates: "$n" is capture group n (the digits after "$" are taken as long as
    // they name an existing group, so with three groups "$12" is group 1 and then "2"),
    // "${name}" a named group, "\x" the character x itself (so "\$" is a dollar sign and "\\" a
    // backslash); every other character is literal. An invalid template (a "$" not followed by
    // a group, a reference to a missing group) is a programming error: it is reported on the
    // log and the text is returned unchanged. An abandoned replacement returns the text unchanged
    // as well: never half replaced.
    QString replaceAll(const QString &text, const QString &replacementTemplate,
                       bool *complete = nullptr) const;
    QString replaceFirst(const QString &text, const QString &replacementTemplate,
                         bool *complete = nullptr) const;
    // Replaces every match by what `replacement` returns for it; the returned text is inserted as
    // it is (no template expansion).
    QString replaceAll(const QString &text,
                       const std::function<QString(const RegexMatch &)> &replacement,
                       bool *complete = nullptr) const;

    // A pattern that matches `literal` exactly, with or without AllowCommentsAndWhitespace:
    // "(N/A)" gives "\(N\/A\)".
    static QString escapedPattern(const QString &literal);
    // A template that inserts `literal` exactly: "$" and "\" are escaped with "\".
    static QString escapedTemplate(const QString &literal);

private:
    struct Compiled;
    explicit Regex(std::shared_ptr<const Compiled> compiled);
    QString replace(const QString &text, const QString &replacementTemplate, bool all,
                    bool *complete) const;

    std::shared_ptr<const Compiled> d;
};
