#pragma once

#include "Core/Transcription/SpeechLocale.h"
#include "Support/AppLanguage.h"

#include <QString>

#include <exception>
#include <string>

// The errors of the speech engines. Each case is shown to the user through one interface text;
// the underlying error (a recogniser's own failure) is kept for diagnosis and never shown.
//
// Cancellation is never a failure: isCancellation() tells a caller at the end of a stream
// whether to end quietly or to show errorDescription().
class TranscriptionError : public std::exception
{
public:
    enum class Kind {
        // The engine cannot recognise the locale (no recogniser for it, or its model is not
        // offered). Carries the locale.
        localeNotSupported,
        // The on-device model for the locale could not be reserved, downloaded or installed.
        modelDownloadFailed,
        // The recognition session could not be started, or failed while running.
        sessionFailed,
        // Speech recognition is not authorised, or the recogniser cannot be used now.
        recognizerUnavailable,
    };

    static TranscriptionError localeNotSupported(SpeechLocale locale);
    static TranscriptionError modelDownloadFailed(std::exception_ptr underlying = nullptr);
    static TranscriptionError sessionFailed(std::exception_ptr underlying = nullptr);
    static TranscriptionError recognizerUnavailable();

    Kind kind() const { return m_kind; }
    // The locale of localeNotSupported; empty for the other cases.
    const SpeechLocale &locale() const { return m_locale; }
    // The error behind modelDownloadFailed or sessionFailed; may be absent.
    const std::exception_ptr &underlying() const { return m_underlying; }

    // The text the user sees, in the current interface language; for localeNotSupported the
    // locale's identifier fills the placeholder.
    QString errorDescription() const;
    QString errorDescription(AppLanguage language) const;
    // The interface-text key of each case.
    static QString localizationKey(Kind kind);

    // The text the user sees for an error that ended a recognition session: a
    // TranscriptionError's own text; any other error (a library's failure escaping an engine) is
    // shown as sessionFailed, so the user never reads an underlying message.
    static QString errorDescription(const std::exception_ptr &error);
    static QString errorDescription(const std::exception_ptr &error, AppLanguage language);

    // A diagnostic line for logs (case name and the underlying error's message), not for users.
    const char *what() const noexcept override { return m_what.c_str(); }

    // True for a cancellation error (CancelledError, also nested), and for sessionFailed whose
    // underlying error is one. Such an error ends work quietly and is never shown.
    static bool isCancellation(const std::exception_ptr &error);

private:
    TranscriptionError(Kind kind, SpeechLocale locale, std::exception_ptr underlying);

    Kind m_kind;
    SpeechLocale m_locale;
    std::exception_ptr m_underlying;
    std::string m_what;
};
