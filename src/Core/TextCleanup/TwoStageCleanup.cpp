#include "Core/TextCleanup/TwoStageCleanup.h"

#include "Base/Async.h"
#include "Base/CancelledError.h"
#include "Base/Unicode.h"
#include "Core/TextCleanup/FidelityGuard.h"

#include <QStringList>

#include <atomic>
#include <coroutine>
#include <utility>

namespace {

// One attempt of the model against its deadline, whichever comes first. The loser runs on by
// itself and finds the attempt decided: a late answer is dropped, never waited for.
struct Attempt
{
    std::atomic<bool> decided = false;
    bool finished = false;
    std::optional<QString> answer;
    std::coroutine_handle<> waiter;
    // Stops the deadline's timer once the model answered.
    CancellationToken deadlineCancellation;
    // Tells the model's session that nobody waits any more.
    CancellationToken modelCancellation;

    // True for the first of the two racers only.
    bool claim() { return !decided.exchange(true); }

    void deliver(std::optional<QString> result)
    {
        answer = std::move(result);
        finished = true;
        if (auto handle = std::exchange(waiter, {})) {
            handle.resume();
        }
    }
};

class AttemptAwaiter
{
public:
    explicit AttemptAwaiter(std::shared_ptr<Attempt> attempt)
        : m_attempt(std::move(attempt))
    { }
    bool await_ready() const { return m_attempt->finished; }
    void await_suspend(std::coroutine_handle<> handle) { m_attempt->waiter = handle; }
    std::optional<QString> await_resume() { return std::move(m_attempt->answer); }

private:
    std::shared_ptr<Attempt> m_attempt;
};

// Owns its copy of the stage, so the model may answer after the two-stage call returned.
QCoro::Task<> modelRacer(FoundationModelCleanup stage, QString text, CleanupContext context,
                         std::shared_ptr<Attempt> attempt)
{
    QString answer =
        co_await stage.cleanup(std::move(text), std::move(context), attempt->modelCancellation);
    attempt->deadlineCancellation.cancel();
    if (attempt->claim()) {
        attempt->deliver(std::move(answer));
    }
}

QCoro::Task<> deadlineRacer(Clock &clock, std::shared_ptr<Attempt> attempt)
{
    try {
        co_await Async::sleep(clock, TwoStageCleanup::attemptTimeout,
                              attempt->deadlineCancellation);
    } catch (const CancelledError &) {
        co_return;
    }
    if (attempt->claim()) {
        // Told before the waiter goes on: a session that answers when cancelled answers too late.
        attempt->modelCancellation.cancel();
        attempt->deliver(std::nullopt);
    }
}

FoundationModelCleanup::Style secondStageStyle(TwoStageCleanup::Style style)
{
    return style == TwoStageCleanup::Style::guarded ? FoundationModelCleanup::Style::polish
                                                    : FoundationModelCleanup::Style::rewrite;
}

// Each of these compares the first stage's text with the candidate scalar by scalar, up to a
// table of millions of cells: off the awaiting thread.
QCoro::Task<bool> isFaithful(QString first, QString candidate)
{
    auto work = [first = std::move(first), candidate = std::move(candidate)] {
        return FidelityGuard::isFaithful(first, candidate);
    };
    const bool faithful = co_await Async::runInBackground(std::move(work));
    co_return faithful;
}

QCoro::Task<bool> keyContentPreserved(QString first, QString candidate)
{
    auto work = [first = std::move(first), candidate = std::move(candidate)] {
        return FidelityGuard::keyContentPreserved(first, candidate);
    };
    const bool preserved = co_await Async::runInBackground(std::move(work));
    co_return preserved;
}

// A first line that announces the text, in the way a model introduces its answer.
bool isPreamble(const QString &line)
{
    static const QStringList suffixes {QStringLiteral("。"), QStringLiteral(":"),
                                       QStringLiteral("：")};
    if (!line.startsWith(QStringLiteral("以下"))) {
        return false;
    }
    for (const QString &suffix : suffixes) {
        if (line.endsWith(suffix)) {
            return true;
        }
    }
    return false;
}

} // namespace

TwoStageCleanup::TwoStageCleanup(std::shared_ptr<const TextCleanupService> first, Style style,
                                 std::shared_ptr<SystemLanguageModel> model, Clock &clock)
    : m_first(std::move(first))
    , m_style(style)
    , m_model(std::move(model))
    , m_clock(clock)
{ }

QString TwoStageCleanup::name() const
{
    return QStringLiteral("twoStage");
}

QCoro::Task<QString> TwoStageCleanup::cleanup(QString text, CleanupContext context) const
{
    // Copied before the first wait: the stage need not outlive the call.
    const std::shared_ptr<const TextCleanupService> first = m_first;
    const Style style = m_style;
    const std::shared_ptr<SystemLanguageModel> model = m_model;
    Clock &clock = m_clock;
    const QString stageName = name();

    const QString f = co_await first->cleanup(std::move(text), context);
    if (!model || model->availability() != SystemLanguageModel::Availability::available) {
        co_return f;
    }
    // Nothing was said: a model asked about nothing can only invent, and a free rewrite of an
    // empty text keeps every key token of it.
    if (Unicode::trimmedWhitespaceAndNewlines(f).isEmpty()) {
        co_return f;
    }

    const qsizetype sizeBound = 2 * Unicode::graphemeCount(f) + 64;
    // One attempt of the model on the first stage's text (never the raw transcript): the
    // sanitised answer, or nothing when it timed out, sanitised to nothing or grew past the bound.
    auto attempt = [&]() -> QCoro::Task<std::optional<QString>> {
        const FoundationModelCleanup secondStage(stageName, secondStageStyle(style), model);
        const std::optional<QString> answer = co_await withTimeout(clock, secondStage, f, context);
        if (!answer) {
            co_return std::nullopt;
        }
        // The model's pass gives its input back when it fails, and a model may also echo it: the
        // first stage's text then stands as it is, never reshaped by the sanitising meant for
        // model answers (which would strip the user's own quotation marks).
        if (*answer == f) {
            co_return f;
        }
        QString sanitized = sanitize(*answer);
        if (sanitized.isEmpty() || Unicode::graphemeCount(sanitized) > sizeBound) {
            co_return std::nullopt;
        }
        co_return sanitized;
    };

    const std::optional<QString> candidate = co_await attempt();
    if (!candidate || *candidate == f) {
        co_return f;
    }
    if (style == Style::guarded) {
        const bool faithful = co_await isFaithful(f, *candidate);
        co_return faithful ? *candidate : f;
    }
    const bool preserved = co_await keyContentPreserved(f, *candidate);
    if (preserved) {
        co_return *candidate;
    }
    // A free rewrite that lost a number or a name gets one more try in a new session, where the
    // model may answer differently.
    const std::optional<QString> retry = co_await attempt();
    if (!retry) {
        co_return f;
    }
    const bool retryPreserved = co_await keyContentPreserved(f, *retry);
    co_return retryPreserved ? *retry : f;
}

QString TwoStageCleanup::sanitize(const QString &text)
{
    QString t = Unicode::trimmedWhitespaceAndNewlines(text);

    QStringList lines = t.split(QLatin1Char('\n'));
    if (lines.size() >= 2 && isPreamble(Unicode::trimmedBlanks(lines.first()))) {
        lines.removeFirst();
        t = Unicode::trimmedWhitespaceAndNewlines(lines.join(QLatin1Char('\n')));
    }

    struct QuotePair
    {
        QString opening;
        QString closing;
    };
    static const QuotePair pairs[] = {
        {QStringLiteral("「"), QStringLiteral("」")},
        {QStringLiteral("『"), QStringLiteral("』")},
        {QStringLiteral("\""), QStringLiteral("\"")},
        {QStringLiteral("\u201C"), QStringLiteral("\u201D")},
    };
    for (const QuotePair &pair : pairs) {
        if (!t.startsWith(pair.opening) || !t.endsWith(pair.closing)
            || Unicode::graphemeCount(t) <= 2) {
            continue;
        }
        const QString inner =
            t.mid(pair.opening.size(), t.size() - pair.opening.size() - pair.closing.size());
        // A closing mark inside means the marks belong to quotations of the text itself.
        if (!inner.contains(pair.closing)) {
            t = Unicode::trimmedWhitespaceAndNewlines(inner);
        }
    }
    return t;
}

QCoro::Task<std::optional<QString>> TwoStageCleanup::withTimeout(Clock &clock,
                                                                 FoundationModelCleanup stage,
                                                                 QString text,
                                                                 CleanupContext context)
{
    auto attempt = std::make_shared<Attempt>();
    // The deadline starts first, so a model that answers at once still finds it armed and
    // stops it.
    deadlineRacer(clock, attempt);
    modelRacer(std::move(stage), std::move(text), std::move(context), attempt);
    std::optional<QString> answer = co_await AttemptAwaiter(attempt);
    co_return answer;
}
