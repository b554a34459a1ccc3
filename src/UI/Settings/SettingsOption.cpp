#include "UI/Settings/SettingsOption.h"

#include <QVariantMap>

int SettingsOption::indexOf(const QList<SettingsOption> &options, const QString &value)
{
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (options.at(i).value == value) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QVariantList SettingsOption::toVariant(const QList<SettingsOption> &options)
{
    QVariantList list;
    for (const SettingsOption &option : options) {
        list.append(QVariantMap {{QStringLiteral("value"), option.value},
                                 {QStringLiteral("label"), option.label},
                                 {QStringLiteral("available"), option.available}});
    }
    return list;
}
