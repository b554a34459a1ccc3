#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

class AppSettings;
class L10n;
class Updater;
class UrlOpener;

// The About tab: the version line, the maker's page, and the update row, which exists only when
// the build names an update feed (then `updater` is set). The privacy switches bind straight to
// the settings object.
class AboutTabModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")
    Q_PROPERTY(QObject *settings READ settingsObject CONSTANT)
    Q_PROPERTY(QString versionLine READ versionLine NOTIFY textsChanged)
    Q_PROPERTY(QString webLabel READ webLabel CONSTANT)
    Q_PROPERTY(bool hasUpdater READ hasUpdater CONSTANT)
    Q_PROPERTY(bool autoCheck READ autoCheck WRITE setAutoCheck NOTIFY autoCheckChanged)

public:
    static constexpr char webPage[] = "https://sonorvelle.org";

    AboutTabModel(AppSettings &settings, L10n &l10n, Updater *updater, UrlOpener *opener,
                  const QString &shortVersion, QObject *parent = nullptr);

    // "Version %@" of the interface language over the build's version, "0.1.0 (dev)" when none.
    static QString versionLine(const L10n &l10n, const QString &shortVersion);

    QObject *settingsObject() const;
    QString versionLine() const;
    QString webLabel() const;
    bool hasUpdater() const { return m_updater != nullptr; }
    // The updater's own preference, read afresh; false without an updater.
    bool autoCheck() const;
    void setAutoCheck(bool on);

    Q_INVOKABLE void checkNow();
    Q_INVOKABLE void openWebPage();

Q_SIGNALS:
    void textsChanged();
    void autoCheckChanged();
    // Whether the desktop opened the web page; false when no browser could be started.
    void webPageOpened(bool opened);

private:
    AppSettings &m_settings;
    L10n &m_l10n;
    Updater *m_updater;
    UrlOpener *m_opener;
    QString m_shortVersion;
};
