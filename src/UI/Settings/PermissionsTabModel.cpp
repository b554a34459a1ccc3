#include "UI/Settings/PermissionsTabModel.h"

#include "Base/Clock.h"
#include "Base/Timer.h"

PermissionsTabModel::PermissionsTabModel(Clock &clock, QObject *parent)
    : PermissionReadout([] { return AppleIntelligence::status(); }, parent)
    , m_timer(clock.makeTimer())
{
    connect(m_timer.get(), &Timer::timeout, this, &PermissionsTabModel::refresh);
    m_timer->start(refreshInterval, true);
}

PermissionsTabModel::~PermissionsTabModel() = default;
