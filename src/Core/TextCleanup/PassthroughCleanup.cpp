#include "Core/TextCleanup/PassthroughCleanup.h"

QString PassthroughCleanup::name() const
{
    return QStringLiteral("off");
}

QCoro::Task<QString> PassthroughCleanup::cleanup(QString text, CleanupContext context) const
{
    Q_UNUSED(context);
    co_return text;
}
