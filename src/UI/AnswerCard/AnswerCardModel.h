#pragma once

#include <QObject>
#include <QQuickTextDocument>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <functional>
#include <memory>

class AnswerSpeaking;
class Clock;
class L10n;
class Pasteboard;
class Timer;

// What one answer card (or error card) shows and what its buttons do; the card's views bind to
// it. Made by the card controller for each card it presents and dropped with the card's window.
// Closing and asking again go back to the controller through the two functions it hands over.
// Main thread only.
class AnswerCardModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the card controller")
    Q_PROPERTY(bool isError READ isError CONSTANT)
    // An error card that says answers need an account and offers the sign-in.
    Q_PROPERTY(bool needsSignIn READ needsSignIn CONSTANT)
    Q_PROPERTY(QString question READ question CONSTANT)
    Q_PROPERTY(QString answer READ answer CONSTANT)
    // What the card lays out of the answer (a long one is cut).
    Q_PROPERTY(QString shownAnswer READ shownAnswer CONSTANT)
    Q_PROPERTY(QString hint READ hint NOTIFY textsChanged)
    Q_PROPERTY(int cardWidth READ cardWidth CONSTANT)
    Q_PROPERTY(int scrollHeight READ scrollHeight CONSTANT)
    Q_PROPERTY(bool scrolls READ scrolls CONSTANT)
    // Whether the desktop shows what lies behind the card (a compositor runs); else the card is
    // drawn opaque.
    Q_PROPERTY(bool translucent READ translucent CONSTANT)
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(bool isSpeaking READ isSpeaking NOTIFY isSpeakingChanged)
    Q_PROPERTY(QString copyTitle READ copyTitle NOTIFY textsChanged)
    Q_PROPERTY(QString speakTitle READ speakTitle NOTIFY textsChanged)
    Q_PROPERTY(QString askAgainTitle READ askAgainTitle NOTIFY textsChanged)
    Q_PROPERTY(QString errorTitle READ errorTitle NOTIFY textsChanged)
    Q_PROPERTY(QString closeTitle READ closeTitle NOTIFY textsChanged)
    Q_PROPERTY(QString signInTitle READ signInTitle NOTIFY textsChanged)

public:
    // "Copied" shows this long after the last copy.
    static constexpr std::chrono::seconds copiedDuration {2};

    struct Content
    {
        bool isError = false;
        bool needsSignIn = false;
        QString question;
        QString answer;
        QString shownAnswer;
        QString hint;
        int cardWidth = 0;
        int scrollHeight = 0;
        bool scrolls = false;
        bool translucent = false;
    };

    struct Services
    {
        AnswerSpeaking *speaker = nullptr;
        Pasteboard *pasteboard = nullptr;
        Clock *clock = nullptr;
        L10n *l10n = nullptr;
        std::function<void()> onClose;
        std::function<void()> onAskAgain;
        // Opens the sign-in page; false when no browser could be started.
        std::function<bool()> onSignIn;
    };

    AnswerCardModel(Content content, Services services, QObject *parent = nullptr);
    ~AnswerCardModel() override;

    bool isError() const { return m_content.isError; }
    bool needsSignIn() const { return m_content.needsSignIn; }
    const QString &question() const { return m_content.question; }
    const QString &answer() const { return m_content.answer; }
    const QString &shownAnswer() const { return m_content.shownAnswer; }
    // The sign-in card's hint follows the language; once the browser failed to open, it says so.
    QString hint() const;
    int cardWidth() const { return m_content.cardWidth; }
    int scrollHeight() const { return m_content.scrollHeight; }
    bool scrolls() const { return m_content.scrolls; }
    bool translucent() const { return m_content.translucent; }
    bool copied() const { return m_copied; }
    bool isSpeaking() const;

    QString copyTitle() const;
    QString speakTitle() const;
    QString askAgainTitle() const;
    QString errorTitle() const;
    QString closeTitle() const;
    QString signInTitle() const;

    // The buttons.
    Q_INVOKABLE void copy();
    // Stops the reading when one runs at the moment of the click, else reads the answer.
    Q_INVOKABLE void toggleSpeech();
    Q_INVOKABLE void askAgain();
    Q_INVOKABLE void close();
    Q_INVOKABLE void signIn();
    // Lays the answer out in the shown text as it was measured.
    Q_INVOKABLE void styleAnswer(QQuickTextDocument *document);

Q_SIGNALS:
    void copiedChanged();
    void isSpeakingChanged();
    void textsChanged();

private:
    void setCopied(bool copied);

    Content m_content;
    Services m_services;
    std::unique_ptr<Timer> m_copiedReset;
    bool m_copied = false;
    bool m_browserFailed = false;
};
