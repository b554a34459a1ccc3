#include "Base/Unicode.h"

#include <QtGlobal>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <limits>
#include <memory>

namespace {

const char16_t *unitsOf(const QString &text)
{
    return reinterpret_cast<const char16_t *>(text.utf16());
}

// ICU's string class indexes with int32_t; a QString that long (4 GiB of text) is not something
// this application ever builds, so it is treated as a programming error rather than truncated.
int32_t icuLength(const QString &text)
{
    if (text.size() > std::numeric_limits<int32_t>::max()) {
        qFatal("Unicode: text of %lld code units is too long for ICU", qlonglong(text.size()));
    }
    return int32_t(text.size());
}

// A read-only ICU view of the QString's buffer; valid while the QString is alive and unchanged.
icu::UnicodeString aliasOf(const QString &text)
{
    return icu::UnicodeString(false, unitsOf(text), icuLength(text));
}

QString fromIcu(const icu::UnicodeString &s)
{
    return QString(reinterpret_cast<const QChar *>(s.getBuffer()), s.length());
}

bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            return false;
        }
    }
    return true;
}

// Below U+0300 every code unit is a character of its own, except that CR LF is one: no such code
// point is Extend, SpacingMark, Prepend, ZWJ, Hangul or a regional indicator. Ordinary log and
// English text takes this path and never reaches the break iterator.
bool isBelowCombiningMarks(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x300) {
            return false;
        }
    }
    return true;
}

qsizetype crlfCount(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == u'\n' && text[i - 1] == u'\r') {
            ++count;
        }
    }
    return count;
}

// Creating a character break iterator loads rules and is slow; each thread clones a process-wide
// prototype once and reuses the clone (an iterator must never be used by two threads at once).
icu::BreakIterator &threadCharacterIterator()
{
    static const std::unique_ptr<const icu::BreakIterator> prototype = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> iterator(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !iterator) {
            qFatal("Unicode: cannot create the ICU character break iterator: %s",
                   u_errorName(status));
        }
        return iterator;
    }();
    thread_local const std::unique_ptr<icu::BreakIterator> local(prototype->clone());
    return *local;
}

// The thread's character break iterator set on one text for the lifetime of this object. The text
// must outlive it.
class GraphemeWalker
{
public:
    explicit GraphemeWalker(const QString &text)
        : m_iterator(threadCharacterIterator())
    {
        UErrorCode status = U_ZERO_ERROR;
        utext_openUChars(&m_text, unitsOf(text), text.size(), &status);
        m_iterator.setText(&m_text, status);
        if (U_FAILURE(status)) {
            qFatal("Unicode: cannot set the text of the character break iterator: %s",
                   u_errorName(status));
        }
    }
    ~GraphemeWalker() { utext_close(&m_text); }
    GraphemeWalker(const GraphemeWalker &) = delete;
    GraphemeWalker &operator=(const GraphemeWalker &) = delete;

    icu::BreakIterator *operator->() { return &m_iterator; }

private:
    icu::BreakIterator &m_iterator;
    UText m_text = UTEXT_INITIALIZER;
};

using NormalizerGetter = const icu::Normalizer2 *(*)(UErrorCode &);

QString normalized(const QString &text, NormalizerGetter getInstance, const char *name)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2 *normalizer = getInstance(status);
    if (U_FAILURE(status) || !normalizer) {
        qFatal("Unicode: the ICU %s normaliser is unavailable: %s", name, u_errorName(status));
    }
    const icu::UnicodeString source = aliasOf(text);
    // Most text is already normalised; only the part after the first doubtful code unit is
    // rewritten, and an already-normal text is returned as is (sharing its buffer).
    const int32_t normalPrefix = normalizer->spanQuickCheckYes(source, status);
    if (U_SUCCESS(status) && normalPrefix == source.length()) {
        return text;
    }
    icu::UnicodeString result(source, 0, normalPrefix);
    normalizer->normalizeSecondAndAppend(result, source.tempSubString(normalPrefix), status);
    if (U_FAILURE(status)) {
        qFatal("Unicode: %s normalisation failed: %s", name, u_errorName(status));
    }
    return fromIcu(result);
}

template<typename Predicate>
QString trimmed(const QString &text, Predicate drop)
{
    // Every white-space scalar is in the BMP, and a surrogate code unit never matches, so the
    // text can be walked by code unit without splitting a pair.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && drop(char32_t(text[begin].unicode()))) {
        ++begin;
    }
    while (end > begin && drop(char32_t(text[end - 1].unicode()))) {
        --end;
    }
    if (begin == 0 && end == text.size()) {
        return text;
    }
    return text.mid(begin, end - begin);
}

// Decodes the scalar starting at i and advances i past it; a lone surrogate gives U+FFFD.
char32_t nextScalar(const QString &text, qsizetype &i)
{
    const char16_t unit = text[i].unicode();
    ++i;
    if (QChar::isHighSurrogate(unit) && i < text.size() && text[i].isLowSurrogate()) {
        const char16_t low = text[i].unicode();
        ++i;
        return QChar::surrogateToUcs4(unit, low);
    }
    if (QChar::isSurrogate(unit)) {
        return U'\uFFFD';
    }
    return unit;
}

} // namespace

namespace Unicode {

qsizetype graphemeCount(const QString &text)
{
    if (isBelowCombiningMarks(text)) {
        return text.size() - crlfCount(text);
    }
    GraphemeWalker walker(text);
    qsizetype count = 0;
    walker->first();
    while (walker->next() != icu::BreakIterator::DONE) {
        ++count;
    }
    return count;
}

QString graphemePrefix(const QString &text, qsizetype n)
{
    if (n <= 0) {
        return QString();
    }
    // A character is at least one code unit.
    if (text.size() <= n) {
        return text;
    }
    GraphemeWalker walker(text);
    qsizetype end = walker->first();
    for (qsizetype taken = 0; taken < n; ++taken) {
        const int32_t next = walker->next();
        if (next == icu::BreakIterator::DONE) {
            return text;
        }
        end = next;
    }
    return text.left(end);
}

QString graphemeSuffix(const QString &text, qsizetype n)
{
    if (n <= 0) {
        return QString();
    }
    if (text.size() <= n) {
        return text;
    }
    GraphemeWalker walker(text);
    qsizetype begin = walker->last();
    for (qsizetype taken = 0; taken < n; ++taken) {
        const int32_t previous = walker->previous();
        if (previous == icu::BreakIterator::DONE) {
            return text;
        }
        begin = previous;
    }
    return text.mid(begin);
}

QList<qsizetype> graphemeBoundaries(const QString &text)
{
    QList<qsizetype> boundaries;
    boundaries.reserve(text.size() + 1);
    if (isBelowCombiningMarks(text)) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!(i > 0 && text[i] == u'\n' && text[i - 1] == u'\r')) {
                boundaries.append(i);
            }
        }
        boundaries.append(text.size());
        return boundaries;
    }
    GraphemeWalker walker(text);
    for (int32_t b = walker->first(); b != icu::BreakIterator::DONE; b = walker->next()) {
        boundaries.append(b);
    }
    return boundaries;
}

QStringList graphemes(const QString &text)
{
    const QList<qsizetype> boundaries = graphemeBoundaries(text);
    QStringList result;
    result.reserve(boundaries.size() - 1);
    for (qsizetype i = 0; i + 1 < boundaries.size(); ++i) {
        result.append(text.mid(boundaries[i], boundaries[i + 1] - boundaries[i]));
    }
    return result;
}

std::u32string scalars(const QString &text)
{
    std::u32string result;
    result.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size();) {
        result.push_back(nextScalar(text, i));
    }
    return result;
}

QString fromScalars(std::u32string_view scalars)
{
    QString result;
    result.reserve(qsizetype(scalars.size()));
    for (const char32_t c : scalars) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            result.append(QChar(QChar::ReplacementCharacter));
        } else if (QChar::requiresSurrogates(c)) {
            result.append(QChar(QChar::highSurrogate(c)));
            result.append(QChar(QChar::lowSurrogate(c)));
        } else {
            result.append(QChar(char16_t(c)));
        }
    }
    return result;
}

qsizetype scalarCount(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++count) {
        nextScalar(text, i);
    }
    return count;
}

qsizetype utf16OffsetForScalarOffset(const QString &text, qsizetype scalarOffset)
{
    qsizetype i = 0;
    for (qsizetype scalar = 0; scalar < scalarOffset && i < text.size(); ++scalar) {
        nextScalar(text, i);
    }
    return i;
}

qsizetype scalarOffsetForUtf16Offset(const QString &text, qsizetype utf16Offset)
{
    const qsizetype limit = qBound(qsizetype(0), utf16Offset, text.size());
    qsizetype count = 0;
    qsizetype i = 0;
    while (i < limit) {
        nextScalar(text, i);
        // A pair whose second half lies at or past the limit was entered in the middle: the
        // offset belongs to that scalar, not to the one after it.
        if (i > limit) {
            break;
        }
        ++count;
    }
    return count;
}

QString nfc(const QString &text)
{
    return normalized(text, &icu::Normalizer2::getNFCInstance, "NFC");
}

QString nfd(const QString &text)
{
    return normalized(text, &icu::Normalizer2::getNFDInstance, "NFD");
}

QString nfkc(const QString &text)
{
    return normalized(text, &icu::Normalizer2::getNFKCInstance, "NFKC");
}

bool canonicallyEquivalent(const QString &a, const QString &b)
{
    if (a == b) {
        return true;
    }
    return nfd(a) == nfd(b);
}

bool isNewline(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isBlank(char32_t c)
{
    if (c == u' ' || c == u'\t') {
        return true;
    }
    if (c < 0x80) {
        return false;
    }
    return u_charType(UChar32(c)) == U_SPACE_SEPARATOR;
}

bool isWhitespaceOrNewline(char32_t c)
{
    return isBlank(c) || isNewline(c);
}

QString trimmedWhitespaceAndNewlines(const QString &text)
{
    return trimmed(text, isWhitespaceOrNewline);
}

QString trimmedBlanks(const QString &text)
{
    return trimmed(text, isBlank);
}

QString lowercased(const QString &text)
{
    if (isAscii(text)) {
        return text.toLower();
    }
    icu::UnicodeString s(unitsOf(text), icuLength(text));
    return fromIcu(s.toLower(icu::Locale::getRoot()));
}

QString uppercased(const QString &text)
{
    if (isAscii(text)) {
        return text.toUpper();
    }
    icu::UnicodeString s(unitsOf(text), icuLength(text));
    return fromIcu(s.toUpper(icu::Locale::getRoot()));
}

QString caseFolded(const QString &text)
{
    if (isAscii(text)) {
        return text.toLower();
    }
    icu::UnicodeString s(unitsOf(text), icuLength(text));
    return fromIcu(s.foldCase(U_FOLD_CASE_DEFAULT));
}

bool isLetter(char32_t c)
{
    return (U_GET_GC_MASK(UChar32(c)) & U_GC_L_MASK) != 0;
}

bool isDigit(char32_t c)
{
    return u_charType(UChar32(c)) == U_DECIMAL_DIGIT_NUMBER;
}

bool isPunctuation(char32_t c)
{
    return (U_GET_GC_MASK(UChar32(c)) & U_GC_P_MASK) != 0;
}

bool isSymbol(char32_t c)
{
    return (U_GET_GC_MASK(UChar32(c)) & U_GC_S_MASK) != 0;
}

} // namespace Unicode
