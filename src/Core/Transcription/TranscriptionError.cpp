#include "Core/Transcription/TranscriptionError.h"

#include "Base/CancelledError.h"
#include "Support/L10n.h"

namespace {

const char *caseName(TranscriptionError::Kind kind)
{
    switch (kind) {
    case TranscriptionError::Kind::localeNotSupported:
        return "localeNotSupported";
    case TranscriptionError::Kind::modelDownloadFailed:
        return "modelDownloadFailed";
    case TranscriptionError::Kind::sessionFailed:
        return "sessionFailed";
    case TranscriptionError::Kind::recognizerUnavailable:
        return "recognizerUnavailable";
    }
    return "unknown";
}

std::string messageOf(const std::exception_ptr &error)
{
    if (!error) {
        return {};
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

} // namespace

TranscriptionError::TranscriptionError(Kind kind, SpeechLocale locale,
                                       std::exception_ptr underlying)
    : m_kind(kind)
    , m_locale(std::move(locale))
    , m_underlying(std::move(underlying))
{
    m_what = std::string("TranscriptionError.") + caseName(kind);
    if (m_kind == Kind::localeNotSupported) {
        m_what += " (" + m_locale.identifier().toStdString() + ")";
    }
    if (m_underlying) {
        m_what += ": " + messageOf(m_underlying);
    }
}

TranscriptionError TranscriptionError::localeNotSupported(SpeechLocale locale)
{
    return TranscriptionError(Kind::localeNotSupported, std::move(locale), nullptr);
}

TranscriptionError TranscriptionError::modelDownloadFailed(std::exception_ptr underlying)
{
    return TranscriptionError(Kind::modelDownloadFailed, SpeechLocale(), std::move(underlying));
}

TranscriptionError TranscriptionError::sessionFailed(std::exception_ptr underlying)
{
    return TranscriptionError(Kind::sessionFailed, SpeechLocale(), std::move(underlying));
}

TranscriptionError TranscriptionError::recognizerUnavailable()
{
    return TranscriptionError(Kind::recognizerUnavailable, SpeechLocale(), nullptr);
}

QString TranscriptionError::localizationKey(Kind kind)
{
    switch (kind) {
    case Kind::localeNotSupported:
        return QStringLiteral("error.locale_not_supported");
    case Kind::modelDownloadFailed:
        return QStringLiteral("error.model_download_failed");
    case Kind::sessionFailed:
        return QStringLiteral("error.session_failed");
    case Kind::recognizerUnavailable:
        return QStringLiteral("error.recognizer_unavailable");
    }
    return QString();
}

QString TranscriptionError::errorDescription() const
{
    return errorDescription(L10n::shared().language());
}

QString TranscriptionError::errorDescription(AppLanguage language) const
{
    QString text = L10n::lookup(localizationKey(m_kind), language);
    if (m_kind == Kind::localeNotSupported) {
        text.replace(QLatin1StringView("%@"), m_locale.identifier());
    }
    return text;
}

QString TranscriptionError::errorDescription(const std::exception_ptr &error)
{
    return errorDescription(error, L10n::shared().language());
}

QString TranscriptionError::errorDescription(const std::exception_ptr &error, AppLanguage language)
{
    if (error) {
        try {
            std::rethrow_exception(error);
        } catch (const TranscriptionError &transcriptionError) {
            return transcriptionError.errorDescription(language);
        } catch (...) { }
    }
    return sessionFailed().errorDescription(language);
}

bool TranscriptionError::isCancellation(const std::exception_ptr &error)
{
    if (!error) {
        return false;
    }
    if (CancelledError::isCancellation(error)) {
        return true;
    }
    try {
        std::rethrow_exception(error);
    } catch (const TranscriptionError &transcriptionError) {
        return transcriptionError.kind() == Kind::sessionFailed
            && CancelledError::isCancellation(transcriptionError.underlying());
    } catch (...) {
        return false;
    }
}
