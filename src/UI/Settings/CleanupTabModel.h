#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class AppSettings;
class CleanupMemoryResetting;
class CloudAccount;
class L10n;

// The AI Cleanup tab: the rewrite switch over the cleanup mode, the intensity caption and slider
// rounding, whether a cloud token is stored (read afresh whenever the account announces a change),
// and the reset of the learned data with its running state. The other switches and the custom
// instructions bind straight to the settings object, which the tab reaches through `settings`.
// Main thread.
//
// A failed reset says so under the reset row until the next reset starts, so that a reset that
// did not happen never looks like one that did. The running and failed states belong to one
// showing of the tab: each selection of the tab starts without them, and the answer of a reset
// started before then is not shown.
class CleanupTabModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(QObject *settings READ settingsObject CONSTANT)
    Q_PROPERTY(bool polish READ polish WRITE setPolish NOTIFY polishChanged)
    Q_PROPERTY(int intensity READ intensity NOTIFY intensityChanged)
    Q_PROPERTY(QString intensityCaption READ intensityCaption NOTIFY intensityChanged)
    Q_PROPERTY(bool hasToken READ hasToken NOTIFY hasTokenChanged)
    Q_PROPERTY(bool resetting READ resetting NOTIFY resettingChanged)
    Q_PROPERTY(bool resetFailed READ resetFailed NOTIFY resettingChanged)

public:
    // `account` and `memory` may be absent (a build without the cloud): the tab then shows the
    // sign-in note, and a reset fails.
    CleanupTabModel(AppSettings &settings, L10n &l10n, CloudAccount *account,
                    CleanupMemoryResetting *memory, QObject *parent = nullptr);

    // The caption's key for a stored intensity: 1 and 3 have their own, every other value is 2's.
    static QString intensityCaptionKey(int intensity);
    // The stored intensity for a slider position: the nearest stop, halves away from zero, kept
    // within 1 to 3.
    static int intensityForSlider(double value);

    QObject *settingsObject() const;
    bool polish() const;
    void setPolish(bool on);
    int intensity() const;
    QString intensityCaption() const;
    bool hasToken() const;
    bool resetting() const { return m_resetting; }
    bool resetFailed() const { return m_resetFailed; }

    Q_INVOKABLE void moveIntensity(double value);
    // Starts a reset unless one of this tab runs already.
    Q_INVOKABLE void resetMemory();
    Q_INVOKABLE void signIn();
    // The tab was selected: no reset shows as running or failed.
    void startAfresh();

Q_SIGNALS:
    void polishChanged();
    void intensityChanged();
    void hasTokenChanged();
    void resettingChanged();

private:
    void finishReset(bool confirmed);

    AppSettings &m_settings;
    L10n &m_l10n;
    CloudAccount *m_account;
    CleanupMemoryResetting *m_memory;
    bool m_resetting = false;
    bool m_resetFailed = false;
    // Counts the selections of the tab; a reset's answer counts only within its own.
    quint64 m_showing = 0;
};
