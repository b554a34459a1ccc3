#include "Core/ConnectionWarmer.h"

#include "Core/CloudSession.h"

ConnectionWarmer::ConnectionWarmer(CloudSession &session, Clock &clock)
    : m_session(session)
    , m_clock(clock)
{ }

void ConnectionWarmer::warm()
{
    const std::chrono::nanoseconds now = m_clock.uptime();
    if (m_lastWarmed && now - *m_lastWarmed <= spacing) {
        return;
    }
    m_lastWarmed = now;

    CloudRequest request = m_session.request(QStringLiteral("stt"));
    request.method = "HEAD";
    request.timeout = timeout;
    QCoro::connect(m_session.perform(std::move(request)), &m_session, [](const CloudReply &) {});
}
