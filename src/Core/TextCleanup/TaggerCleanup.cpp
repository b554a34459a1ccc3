#include "Core/TextCleanup/TaggerCleanup.h"

#include "Base/Async.h"
#include "Base/Regex.h"
#include "Base/Unicode.h"

#include <QDebug>

#include <array>
#include <exception>
#include <stdexcept>

namespace {

bool isSentenceEnd(char32_t c)
{
    return c == U'\u3002' || c == U'!' || c == U'?' || c == U'\uFF01' || c == U'\uFF1F';
}

// Punctuation that deletions leave behind, repaired in this order.
QString repairPunctuation(QString text)
{
    static const Regex commaRun(QStringLiteral("\u3001{2,}"));
    static const Regex leadingComma(QStringLiteral("^\u3001"));
    static const Regex commaBeforeEnd(QStringLiteral("\u3001([\u3002!?\uFF01\uFF1F])"));
    static const Regex commaAfterEnd(QStringLiteral("([\u3002!?\uFF01\uFF1F])\u3001"));
    text = commaRun.replaceAll(text, QStringLiteral("\u3001"));
    text = leadingComma.replaceAll(text, QString());
    text = commaBeforeEnd.replaceAll(text, QStringLiteral("$1"));
    text = commaAfterEnd.replaceAll(text, QStringLiteral("$1"));
    return text;
}

QString trimmedSpaces(const QString &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == QLatin1Char(' ')) {
        ++from;
    }
    while (to > from && text[to - 1] == QLatin1Char(' ')) {
        --to;
    }
    return text.mid(from, to - from);
}

} // namespace

std::shared_ptr<TaggerCleanup> TaggerCleanup::shared()
{
    static const std::shared_ptr<TaggerCleanup> instance = load(TaggerModelRuntime::system());
    return instance;
}

std::shared_ptr<TaggerCleanup> TaggerCleanup::load(TaggerModelRuntime &runtime)
{
    const std::optional<Assets> assets = runtime.locateAssets();
    if (!assets) {
        return nullptr;
    }
    try {
        return std::make_shared<TaggerCleanup>(*assets, runtime);
    } catch (const std::exception &error) {
        qWarning().noquote() << QStringLiteral("TaggerCleanup: load failed: ")
                + QString::fromUtf8(error.what());
    }
    return nullptr;
}

TaggerCleanup::TaggerCleanup(const Assets &assets, TaggerModelRuntime &runtime)
    : m_tokenizer(assets.tokenizerPath)
    , m_model(runtime.loadModel(assets.modelPath))
{
    if (!m_model) {
        throw std::runtime_error("the runtime returned no model for "
                                 + assets.modelPath.toStdString());
    }
}

QString TaggerCleanup::name() const
{
    return QStringLiteral("localModel");
}

QCoro::Task<QString> TaggerCleanup::cleanup(QString text, CleanupContext context) const
{
    if (!Unicode::lowercased(context.localeIdentifier).startsWith(QLatin1String("ja"))) {
        co_return text;
    }
    const QString trimmed = Unicode::trimmedWhitespaceAndNewlines(text);
    if (trimmed.isEmpty()) {
        co_return text;
    }

    // The work holds its own references, so it never depends on the stage object's lifetime. It
    // is a named object, not a temporary of the awaited call: GCC 12 destroys a temporary argument
    // of a coroutine call inside co_await twice.
    auto work = [tokenizer = m_tokenizer, model = m_model, trimmed] {
        return infer(tokenizer, *model, trimmed);
    };
    QString failure;
    try {
        QString cleaned = co_await Async::runInBackground(std::move(work));
        co_return cleaned;
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
        failure = QStringLiteral("unknown error");
    }
    qWarning().noquote() << QStringLiteral("TaggerCleanup: inference failed: ") + failure;
    co_return text;
}

QString TaggerCleanup::infer(const UnigramTokenizer &tokenizer, TaggerModel &model,
                             const QString &trimmed)
{
    constexpr qsizetype length = TaggerModel::inputLength;
    const UnigramTokenizer::Encoding encoding = tokenizer.encode(trimmed, length);
    const std::optional<TaggerModel::Logits> logits =
        model.predict(encoding.ids, encoding.attentionMask);
    if (!logits) {
        return trimmed;
    }
    if (logits->tokenCount < length || logits->values.size() < size_t(length * 2)) {
        throw std::runtime_error("the model's logits cover " + std::to_string(logits->tokenCount)
                                 + " tokens, not " + std::to_string(length));
    }

    const std::u32string scalars = Unicode::scalars(trimmed);
    const qint64 n = qint64(scalars.size());
    std::vector<bool> drop(scalars.size(), false);
    for (qsizetype t = 0; t < length; ++t) {
        const auto &span = encoding.spans[size_t(t)];
        if (encoding.attentionMask[size_t(t)] != 1 || !span) {
            continue;
        }
        // Equal scores keep the token.
        if (logits->at(t, 0) > logits->at(t, 1) && span->lower < span->upper) {
            for (qint64 p = std::max<qint64>(0, span->lower); p < std::min(span->upper, n); ++p) {
                drop[size_t(p)] = true;
            }
        }
    }

    collapseSeamRestarts(scalars, drop);

    std::u32string kept;
    kept.reserve(scalars.size());
    for (size_t i = 0; i < scalars.size(); ++i) {
        if (!drop[i]) {
            kept += scalars[i];
        }
    }
    QString result = trimmedSpaces(repairPunctuation(Unicode::fromScalars(kept)));
    if (result.isEmpty()) {
        return trimmed;
    }
    const std::u32string resultScalars = Unicode::scalars(result.right(2));
    if (!isSentenceEnd(resultScalars.back())) {
        result += QChar(u'\u3002');
    }
    return result;
}

void TaggerCleanup::collapseSeamRestarts(const std::u32string &scalars, std::vector<bool> &drop)
{
    const size_t n = scalars.size();
    if (n < 2 || drop.size() != n) {
        return;
    }
    for (size_t i = 1; i < n; ++i) {
        // A seam: the first kept scalar after a deleted run.
        if (drop[i] || !drop[i - 1]) {
            continue;
        }
        size_t runStart = i - 1;
        while (runStart > 0 && drop[runStart - 1]) {
            --runStart;
        }
        // The last (up to four) kept positions before the run, nearest first.
        std::array<size_t, 4> keptBefore {};
        size_t keptCount = 0;
        for (size_t p = runStart; p-- > 0 && keptCount < keptBefore.size();) {
            if (!drop[p]) {
                keptBefore[keptCount++] = p;
            }
        }
        for (size_t k = keptBefore.size(); k >= 1; --k) {
            if (keptCount < k || i + k > n) {
                continue;
            }
            bool restarted = true;
            for (size_t m = 0; m < k && restarted; ++m) {
                restarted = !drop[i + m] && scalars[keptBefore[k - 1 - m]] == scalars[i + m];
            }
            if (restarted) {
                for (size_t m = 0; m < k; ++m) {
                    drop[keptBefore[m]] = true;
                }
                break;
            }
        }
    }
}
