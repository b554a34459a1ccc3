#include "Core/History/TitleSimilarity.h"

#include "Base/Regex.h"
#include "Base/Unicode.h"

#include <QStringList>

#include <unicode/uchar.h>

#include <algorithm>

namespace {

// General Category L* or N*.
bool isLetterOrNumber(char32_t c)
{
    return (U_GET_GC_MASK(UChar32(c)) & (U_GC_L_MASK | U_GC_N_MASK)) != 0;
}

// Hiragana and katakana, CJK ideographs (with extension A and the compatibility block) and Hangul
// syllables: scripts written without blanks between words.
bool isIdeographic(char32_t c)
{
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF)
        || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF)
        || (c >= 0xF900 && c <= 0xFAFF);
}

class Tokenizer
{
public:
    void add(const QString &character)
    {
        const char32_t first = Unicode::scalars(character.left(2)).front();
        if (!isLetterOrNumber(first)) {
            endWord();
            endRun();
        } else if (isIdeographic(first)) {
            endWord();
            m_run.append(character);
        } else {
            endRun();
            m_word.append(character);
        }
    }

    QSet<QString> finish()
    {
        endWord();
        endRun();
        return std::move(m_tokens);
    }

private:
    void endWord()
    {
        // Single letters and digits say nothing.
        if (m_word.size() > 1) {
            m_tokens.insert(m_word.join(QString()));
        }
        m_word.clear();
    }

    void endRun()
    {
        if (m_run.size() == 1) {
            m_tokens.insert(m_run.front());
        }
        for (qsizetype i = 0; i + 1 < m_run.size(); ++i) {
            m_tokens.insert(m_run[i] + m_run[i + 1]);
        }
        m_run.clear();
    }

    QStringList m_word; // user-perceived characters
    QStringList m_run;
    QSet<QString> m_tokens;
};

QSet<QString> minus(QSet<QString> set, const QSet<QString> &removed)
{
    set.subtract(removed);
    return set;
}

} // namespace

namespace TitleSimilarity {

const QSet<QString> &genericTokens()
{
    static const QSet<QString> tokens = {
        QStringLiteral("zsh"),      QStringLiteral("bash"),     QStringLiteral("fish"),
        QStringLiteral("sh"),       QStringLiteral("tmux"),     QStringLiteral("ssh"),
        QStringLiteral("terminal"), QStringLiteral("shell"),    QStringLiteral("tab"),
        QStringLiteral("window"),   QStringLiteral("untitled"), QStringLiteral("new"),
        QStringLiteral("edited"),   QStringLiteral("無題"),     QStringLiteral("編集済み"),
    };
    return tokens;
}

QSet<QString> tokens(const QString &title)
{
    static const Regex numberInParentheses(QStringLiteral("\\(\\d+\\)"));
    static const Regex bullets(QStringLiteral("[•●◦*]"));

    QString text = Unicode::lowercased(title);
    text = numberInParentheses.replaceAll(text, QStringLiteral(" "));
    text = bullets.replaceAll(text, QStringLiteral(" "));

    Tokenizer tokenizer;
    for (const QString &character : Unicode::graphemes(text)) {
        tokenizer.add(character);
    }
    return minus(tokenizer.finish(), genericTokens());
}

double score(const QString &a, const QString &b, const std::optional<QString> &appName)
{
    const QSet<QString> app = tokens(appName.value_or(QString()));
    const QSet<QString> left = minus(tokens(a), app);
    const QSet<QString> right = minus(tokens(b), app);
    if (left.isEmpty() || right.isEmpty()) {
        return 0;
    }
    const qsizetype shared = QSet<QString>(left).intersect(right).size();
    return double(shared) / double(std::min(left.size(), right.size()));
}

} // namespace TitleSimilarity
