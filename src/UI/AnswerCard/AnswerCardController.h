#pragma once

#include "Core/Services/AnswerPresenting.h"
#include "UI/KeyframeAnimation.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QQmlError>
#include <QRect>
#include <QStringList>

#include <functional>
#include <memory>

class AnswerCardModel;
class AnswerCardPanel;
class AnswerSpeaking;
class AppSettings;
class Clock;
class DictationController;
class L10n;
class OverlayWindowing;
class Pasteboard;
class Timer;

// Shows the end of an ask session: a card near the top of the screen under the pointer with the
// spoken question, the answer and the buttons Copy, Read Aloud and Ask Again, or a small error
// card when nothing was recognised. It owns the card's window (built anew for every card, sized
// to the measured answer, sliding up while it fades in) and the speaker that reads answers aloud.
//
// The dictation core calls show() and showError(); the start-up's Escape handling asks
// isShowing() and calls dismiss(). Any new recording silences an answer being read. The card
// changes a session only through Ask Again. Main thread only.
class AnswerCardController
    : public QObject
    , public AnswerPresenting
{
    Q_OBJECT
    Q_PROPERTY(bool isShowing READ isShowing NOTIFY isShowingChanged)

public:
    // The fades advance on the clock at about 60 frames a second.
    static constexpr std::chrono::milliseconds frameInterval {16};

    struct Services
    {
        AppSettings *settings = nullptr;
        L10n *l10n = nullptr;
        Clock *clock = nullptr;
        OverlayWindowing *windowing = nullptr;
        // The clipboard of the Copy button.
        Pasteboard *pasteboard = nullptr;
        // May be handed over later with attach().
        DictationController *controller = nullptr;
        // The sign-in card's button: opens the sign-in page, false when no browser could be
        // started.
        std::function<bool()> signIn;
    };

    AnswerCardController(Services services, std::unique_ptr<AnswerSpeaking> speaker,
                         QObject *parent = nullptr);
    ~AnswerCardController() override;

    // The dictation controller whose new recordings silence the speaker and which Ask Again
    // drives; once.
    void attach(DictationController &controller);

    void show(const QString &question, const QString &answer) override;
    void showError() override;
    void showSignInRequired() override;
    // Stops any speech and fades the card out; harmless without a card.
    void dismiss();
    // Draws one card off-screen, never shown: the first card of the process would otherwise wait
    // for the graphics driver, a first context, the shaders and the glyphs. Main thread, in idle
    // time after the start.
    void prepareFirstFrame();
    bool isShowing() const { return m_panel != nullptr; }

    AnswerSpeaking &speaker() const { return *m_speaker; }
    // The card on screen and its model; null without one.
    AnswerCardPanel *panel() const { return m_panel; }
    AnswerCardModel *model() const;
    // Every QML warning of the cards since the controller was made (tests fail on any).
    const QStringList &qmlWarnings() const { return m_warnings; }

    // The hint of the error card for the ask key of the settings.
    static QString retryHint(const AppSettings &settings, const L10n &l10n);

Q_SIGNALS:
    void isShowingChanged();

private:
    struct Fade
    {
        QPointer<AnswerCardPanel> panel;
        KeyframeAnimation opacity;
        KeyframeAnimation offset;
        QPoint restingPosition;
        bool fadesOut = false;
    };

    enum class Kind { answer, error, signIn };

    void askAgain();
    void present(Kind kind, const QString &question, const QString &answer);
    // A card's window for `area`, sized to its content and not yet shown.
    AnswerCardPanel *build(Kind kind, const QString &question, const QString &answer, QRect area);
    QRect screenArea() const;
    void startFade(Fade fade);
    void stepFades();
    void collectWarnings(const QList<QQmlError> &errors);

    Services m_services;
    std::unique_ptr<AnswerSpeaking> m_speaker;
    AnswerCardPanel *m_panel = nullptr;
    QList<Fade> m_fades;
    std::unique_ptr<Timer> m_frameTimer;
    QStringList m_warnings;
};
