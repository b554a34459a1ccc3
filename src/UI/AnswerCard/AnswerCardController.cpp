#include "UI/AnswerCard/AnswerCardController.h"

#include "Base/Clock.h"
#include "Base/Timer.h"
#include "Core/AppSettings.h"
#include "Core/DebugLog.h"
#include "Core/DictationController.h"
#include "Core/Services/AnswerSpeaking.h"
#include "Platform/OverlayWindowing.h"
#include "Support/L10n.h"
#include "UI/AnswerCard/AnswerCardLayout.h"
#include "UI/AnswerCard/AnswerCardModel.h"
#include "UI/AnswerCard/AnswerCardPalette.h"
#include "UI/AnswerCard/AnswerCardPanel.h"
#include "UI/Theme.h"

#include <QQmlEngine>
#include <QQuickItem>

#include <cmath>

namespace {

KeyframeAnimation animation(qreal from, qreal to, std::chrono::milliseconds duration,
                            const QEasingCurve &timing, std::chrono::nanoseconds begin)
{
    KeyframeAnimation result;
    result.values = {from, to};
    result.keyTimes = {0, 1};
    result.duration = duration;
    result.timing = timing;
    result.beginTime = begin;
    return result;
}

} // namespace

AnswerCardController::AnswerCardController(Services services,
                                           std::unique_ptr<AnswerSpeaking> speaker, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_speaker(std::move(speaker))
    , m_frameTimer(services.clock->makeTimer())
{
    Q_ASSERT(m_services.settings && m_services.l10n && m_services.windowing && m_speaker);
    connect(m_frameTimer.get(), &Timer::timeout, this, &AnswerCardController::stepFades);
    if (DictationController *controller = std::exchange(m_services.controller, nullptr)) {
        attach(*controller);
    }
}

AnswerCardController::~AnswerCardController()
{
    // The card on screen may be fading in too: each window is deleted once.
    QList<QPointer<AnswerCardPanel>> panels {m_panel};
    for (const Fade &fade : std::as_const(m_fades)) {
        panels.append(fade.panel);
    }
    m_fades.clear();
    m_panel = nullptr;
    for (const QPointer<AnswerCardPanel> &panel : std::as_const(panels)) {
        delete panel.data();
    }
}

void AnswerCardController::attach(DictationController &controller)
{
    Q_ASSERT(!m_services.controller);
    m_services.controller = &controller;
    // Starting any new dictation silences an answer being read.
    connect(&controller, &DictationController::stateChanged, this, [this](DictationState state) {
        if (state == DictationState::recording) {
            m_speaker->stop();
        }
    });
}

AnswerCardModel *AnswerCardController::model() const
{
    return m_panel ? m_panel->findChild<AnswerCardModel *>(QString(), Qt::FindDirectChildrenOnly)
                   : nullptr;
}

QString AnswerCardController::retryHint(const AppSettings &settings, const L10n &l10n)
{
    QString name;
    switch (settings.askKey()) {
    case DictationHoldKey::fn:
        name = QStringLiteral("hotkey.fn");
        break;
    case DictationHoldKey::rightCommand:
        name = QStringLiteral("hotkey.right_command");
        break;
    case DictationHoldKey::rightOption:
        name = QStringLiteral("hotkey.right_option");
        break;
    case DictationHoldKey::rightControl:
        name = QStringLiteral("key.rightControl");
        break;
    case DictationHoldKey::rightShift:
        name = QStringLiteral("key.rightShift");
        break;
    case DictationHoldKey::none:
        return l10n.string(QStringLiteral("answer.errHintNoKey"));
    }
    return l10n.string(QStringLiteral("answer.errHint"), l10n.string(name));
}

void AnswerCardController::show(const QString &question, const QString &answer)
{
    m_speaker->stop();
    present(Kind::answer, question, answer);
}

void AnswerCardController::showError()
{
    m_speaker->stop();
    present(Kind::error, QString(), QString());
}

void AnswerCardController::showSignInRequired()
{
    m_speaker->stop();
    present(Kind::signIn, QString(), QString());
}

void AnswerCardController::dismiss()
{
    m_speaker->stop();
    if (!m_panel) {
        return;
    }
    AnswerCardPanel *panel = std::exchange(m_panel, nullptr);
    Q_EMIT isShowingChanged();
    // A card still fading in fades out from where it is.
    QPoint resting = panel->position();
    for (qsizetype i = 0; i < m_fades.size(); ++i) {
        if (m_fades[i].panel == panel) {
            resting = m_fades[i].restingPosition;
            m_fades.removeAt(i);
            break;
        }
    }
    Fade fade;
    fade.panel = panel;
    const auto now = m_services.clock->uptime();
    fade.opacity = animation(panel->opacity(), 0, AnswerCardLayout::fadeOutDuration,
                             QEasingCurve(QEasingCurve::InOutQuad), now);
    fade.offset =
        animation(panel->position().y() - resting.y(), panel->position().y() - resting.y(),
                  AnswerCardLayout::fadeOutDuration, QEasingCurve(), now);
    fade.restingPosition = resting;
    fade.fadesOut = true;
    startFade(std::move(fade));
}

void AnswerCardController::askAgain()
{
    dismiss();
    DictationController *controller = m_services.controller;
    if (!controller || controller->isPaused()) {
        return;
    }
    switch (controller->state()) {
    case DictationState::idle:
        controller->setSessionTask(DictationTask::ask);
        controller->startRecording(DictationTrigger::menu);
        break;
    case DictationState::recording:
        controller->stopAndInsert();
        break;
    case DictationState::processing:
        break;
    }
}

QRect AnswerCardController::screenArea() const
{
    // The pointer may lie in no screen's area (between screens of different sizes): the card
    // then comes up on the main screen, as the voice bar does.
    auto area = m_services.windowing->screenUnderPointer();
    if (!area) {
        area = m_services.windowing->mainScreen();
    }
    return area ? area->available : AnswerCardLayout::defaultArea;
}

void AnswerCardController::present(Kind kind, const QString &question, const QString &answer)
{
    if (AnswerCardPanel *old = std::exchange(m_panel, nullptr)) {
        // Replaced without a fade.
        for (qsizetype i = 0; i < m_fades.size(); ++i) {
            if (m_fades[i].panel == old) {
                m_fades.removeAt(i);
                break;
            }
        }
        old->hide();
        old->deleteLater();
    }

    const QRect area = screenArea();
    AnswerCardPanel *panel = build(kind, question, answer, area);
    OverlayWindowing &windowing = *m_services.windowing;
    const QRect frame = AnswerCardLayout::finalFrame(area, panel->width(), panel->height());
    panel->setPosition(frame.x(), frame.y() + AnswerCardLayout::slideDistance);
    panel->setOpacity(0);
    windowing.beforeShow(*panel);
    panel->show();
    m_panel = panel;
    Q_EMIT isShowingChanged();

    Fade fade;
    fade.panel = panel;
    const auto now = m_services.clock->uptime();
    fade.opacity = animation(0, 1, AnswerCardLayout::fadeInDuration, Theme::easeOut(), now);
    fade.offset = animation(AnswerCardLayout::slideDistance, 0, AnswerCardLayout::fadeInDuration,
                            Theme::easeOut(), now);
    fade.restingPosition = frame.topLeft();
    startFade(std::move(fade));
}

AnswerCardPanel *AnswerCardController::build(Kind kind, const QString &question,
                                             const QString &answer, QRect area)
{
    const int width = AnswerCardLayout::cardWidth(area);
    OverlayWindowing &windowing = *m_services.windowing;

    AnswerCardModel::Content content;
    const bool error = kind != Kind::answer;
    content.isError = error;
    content.needsSignIn = kind == Kind::signIn;
    content.question = question;
    content.answer = answer;
    content.cardWidth = width;
    content.translucent = windowing.translucencyAvailable();
    if (kind == Kind::signIn) {
        // The model words the hint itself.
    } else if (error) {
        content.hint = retryHint(*m_services.settings, *m_services.l10n);
    } else {
        content.shownAnswer = AnswerCardLayout::shownAnswer(answer);
        const auto textArea = AnswerCardLayout::textAreaFor(content.shownAnswer, area);
        content.scrollHeight = textArea.scrollHeight;
        content.scrolls = textArea.scrolls;
    }

    auto *panel = new AnswerCardPanel();
    QPointer<AnswerCardController> self(this);
    AnswerCardModel::Services modelServices;
    modelServices.speaker = m_speaker.get();
    modelServices.pasteboard = m_services.pasteboard;
    modelServices.clock = m_services.clock;
    modelServices.l10n = m_services.l10n;
    modelServices.onClose = [self] {
        if (self) {
            self->dismiss();
        }
    };
    modelServices.onAskAgain = [self] {
        if (self) {
            self->askAgain();
        }
    };
    modelServices.onSignIn = m_services.signIn;
    auto *model = new AnswerCardModel(content, modelServices, panel);
    panel->onEscape = modelServices.onClose;

    connect(panel->engine(), &QQmlEngine::warnings, this, &AnswerCardController::collectWarnings);
    windowing.prepare(*panel, false);
    panel->setColor(content.translucent ? QColor(Qt::transparent)
                                        : AnswerCardPalette::opaqueBackdrop());
    panel->setInitialProperties(
        {{QStringLiteral("card"), QVariant::fromValue(static_cast<QObject *>(model))}});
    panel->setSource(QUrl(
        QStringLiteral("qrc:/qt-project.org/imports/Sonorvelle/AnswerCard/AnswerCardWindow.qml")));
    collectWarnings(panel->errors());

    QQuickItem *root = panel->rootObject();
    const int height = root ? int(std::ceil(root->implicitHeight())) : 0;
    panel->resize(width, height);
    windowing.clipToRoundedShape(*panel, QRectF(0, 0, width, height),
                                 AnswerCardLayout::cornerRadius);
    if (root) {
        // A text that changes on the card (the sign-in that could not open a browser, another
        // language) may need another line. Queued: a window being deleted drops the call.
        connect(
            root, &QQuickItem::implicitHeightChanged, panel,
            [panel, root, width, shaper = &windowing] {
                const int grown = int(std::ceil(root->implicitHeight()));
                if (grown > 0 && grown != panel->height()) {
                    panel->resize(width, grown);
                    shaper->clipToRoundedShape(*panel, QRectF(0, 0, width, grown),
                                               AnswerCardLayout::cornerRadius);
                }
            },
            Qt::QueuedConnection);
    }
    return panel;
}

void AnswerCardController::prepareFirstFrame()
{
    const std::unique_ptr<AnswerCardPanel> panel(build(
        Kind::answer, QStringLiteral("Sonorvelle?"), QStringLiteral("Sonorvelle."), screenArea()));
    // The native window is made as the shown one is (the driver picks its visual), but not mapped.
    panel->create();
    panel->setOpacity(1);
    // A window that was never exposed renders into an off-screen texture of its own.
    panel->grabWindow();
}

void AnswerCardController::startFade(Fade fade)
{
    m_fades.append(std::move(fade));
    if (!m_frameTimer->isActive()) {
        m_frameTimer->start(frameInterval, true);
    }
}

void AnswerCardController::stepFades()
{
    const auto now = m_services.clock->uptime();
    for (qsizetype i = 0; i < m_fades.size();) {
        Fade &fade = m_fades[i];
        if (!fade.panel) {
            m_fades.removeAt(i);
            continue;
        }
        const bool done = now >= fade.opacity.beginTime + fade.opacity.duration;
        fade.panel->setOpacity(fade.opacity.value(now));
        fade.panel->setPosition(fade.restingPosition.x(),
                                fade.restingPosition.y() + int(std::round(fade.offset.value(now))));
        if (!done) {
            ++i;
            continue;
        }
        if (fade.fadesOut) {
            fade.panel->hide();
            fade.panel->deleteLater();
        }
        m_fades.removeAt(i);
    }
    if (m_fades.isEmpty()) {
        m_frameTimer->stop();
    }
}

void AnswerCardController::collectWarnings(const QList<QQmlError> &errors)
{
    for (const QQmlError &error : errors) {
        m_warnings.append(error.toString());
        DebugLog::log(QStringLiteral("answer card: QML %1").arg(error.toString()));
    }
}
