#pragma once

#include <QList>
#include <QString>
#include <QVariantList>

// One choice of a settings dropdown: the stored value and the label shown for it. A dropdown
// shows the label of the first option whose value equals the setting. An unavailable option is
// listed, its label saying why, and cannot be picked.
struct SettingsOption
{
    QString value;
    QString label;
    bool available = true;
    bool operator==(const SettingsOption &) const = default;

    // The position of the first option with `value`, or -1 when none has it.
    static int indexOf(const QList<SettingsOption> &options, const QString &value);
    // The options as QML reads them: a list of {value, label, available}.
    static QVariantList toVariant(const QList<SettingsOption> &options);
};
