#pragma once

#include "Platform/LoginItem.h"

#include <QStringList>

// Records "register" and "unregister" in order; fails with `failure` when it is set.
class FakeLoginItem final : public LoginItem
{
public:
    bool registerItem(QString &error) override { return record(QStringLiteral("register"), error); }
    bool unregisterItem(QString &error) override
    {
        return record(QStringLiteral("unregister"), error);
    }

    QStringList calls;
    QString failure;

private:
    bool record(const QString &call, QString &error)
    {
        calls.append(call);
        error = failure;
        return failure.isEmpty();
    }
};
