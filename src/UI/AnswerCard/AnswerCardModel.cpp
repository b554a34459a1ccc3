#include "UI/AnswerCard/AnswerCardModel.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Core/Services/AnswerSpeaking.h"
#include "Platform/Pasteboard.h"
#include "Support/L10n.h"
#include "UI/AnswerCard/AnswerCardLayout.h"

#include <QQuickTextDocument>
#include <QTextDocument>

AnswerCardModel::AnswerCardModel(Content content, Services services, QObject *parent)
    : QObject(parent)
    , m_content(std::move(content))
    , m_services(std::move(services))
    , m_copiedReset(m_services.clock->makeTimer())
{
    Q_ASSERT(m_services.speaker && m_services.l10n);
    connect(m_copiedReset.get(), &Timer::timeout, this, [this] { setCopied(false); });
    connect(m_services.speaker, &AnswerSpeaking::isSpeakingChanged, this, [this] {
        Q_EMIT isSpeakingChanged();
        Q_EMIT textsChanged();
    });
    connect(m_services.l10n, &L10n::languageChanged, this, &AnswerCardModel::textsChanged);
}

AnswerCardModel::~AnswerCardModel() = default;

bool AnswerCardModel::isSpeaking() const
{
    return m_services.speaker->isSpeaking();
}

QString AnswerCardModel::copyTitle() const
{
    return m_services.l10n->string(m_copied ? QStringLiteral("answer.copied")
                                            : QStringLiteral("common.copy"));
}

QString AnswerCardModel::speakTitle() const
{
    return m_services.l10n->string(isSpeaking() ? QStringLiteral("answer.stop")
                                                : QStringLiteral("answer.speak"));
}

QString AnswerCardModel::askAgainTitle() const
{
    return m_services.l10n->string(QStringLiteral("answer.askMore"));
}

QString AnswerCardModel::hint() const
{
    if (!m_content.needsSignIn) {
        return m_content.hint;
    }
    return m_services.l10n->string(m_browserFailed ? QStringLiteral("handoff.noBrowser")
                                                   : QStringLiteral("answer.signInHint"));
}

QString AnswerCardModel::errorTitle() const
{
    return m_services.l10n->string(m_content.needsSignIn ? QStringLiteral("answer.signInTitle")
                                                         : QStringLiteral("answer.errTitle"));
}

QString AnswerCardModel::signInTitle() const
{
    return m_services.l10n->string(QStringLiteral("acct.signIn"));
}

QString AnswerCardModel::closeTitle() const
{
    return m_services.l10n->string(QStringLiteral("common.close"));
}

void AnswerCardModel::copy()
{
    if (m_services.pasteboard) {
        // One write replaces the content at once: an empty moment in between would wake
        // clipboard managers for nothing.
        m_services.pasteboard->writeItems(
            {{{Pasteboard::plainTextType, m_content.answer.toUtf8()}}});
    }
    setCopied(true);
    m_copiedReset->start(copiedDuration, false);
}

void AnswerCardModel::toggleSpeech()
{
    if (m_services.speaker->isSpeaking()) {
        m_services.speaker->stop();
    } else {
        m_services.speaker->speak(m_content.answer);
    }
}

void AnswerCardModel::askAgain()
{
    if (m_services.onAskAgain) {
        m_services.onAskAgain();
    }
}

void AnswerCardModel::close()
{
    if (m_services.onClose) {
        m_services.onClose();
    }
}

void AnswerCardModel::signIn()
{
    if (!m_content.needsSignIn || !m_services.onSignIn) {
        return;
    }
    if (m_services.onSignIn()) {
        close();
    } else if (!m_browserFailed) {
        // The card stays, so the user reads why nothing opened.
        m_browserFailed = true;
        Q_EMIT textsChanged();
    }
}

void AnswerCardModel::styleAnswer(QQuickTextDocument *document)
{
    if (document && document->textDocument()) {
        AnswerCardLayout::styleAnswerDocument(*document->textDocument());
    }
}

void AnswerCardModel::setCopied(bool copied)
{
    if (m_copied == copied) {
        return;
    }
    m_copied = copied;
    Q_EMIT copiedChanged();
    Q_EMIT textsChanged();
}
