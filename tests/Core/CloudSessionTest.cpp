#include "Core/CloudSession.h"

#include "Core/NetTrace.h"
#include "TestSupport/FakeCloudService.h"
#include "TestSupport/QtPrinters.h"

#include <QTcpServer>
#include <QTest>

#include <QCoro/QCoroTask>
#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;
using Reply = FakeCloudService::Reply;

namespace {

class CloudSessionTest : public ::testing::Test
{
protected:
    CloudReply perform(CloudRequest request)
    {
        return QCoro::waitFor(session.perform(std::move(request)));
    }

    FakeCloudService service;
    CloudSession session {service.baseURL()};
};

TEST_F(CloudSessionTest, EndpointsHangBelowApiWithTheirSlashesKept)
{
    EXPECT_EQ(session.endpoint(QStringLiteral("app/logout")).toString(),
              service.baseURL().toString() + QStringLiteral("/api/app/logout"));
    EXPECT_EQ(session.endpoint(QStringLiteral("me")).path(), QStringLiteral("/api/me"));
    const CloudRequest request = session.request(QStringLiteral("cleanup/usage"));
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.timeout, 60s);
    EXPECT_TRUE(request.headers.isEmpty());
}

TEST_F(CloudSessionTest, SendsMethodHeadersAndBodyAndReturnsStatusHeadersAndBytes)
{
    Reply scripted = Reply::json(R"({"ok":true})", 201);
    scripted.headers = {{"Server-Timing", "app;dur=12"}};
    service.script("/api/sync/shared", scripted);

    CloudRequest request = session.request(QStringLiteral("sync/shared"));
    request.method = "PUT";
    request.setBearer(QStringLiteral("tok"));
    Json::Object body = Json::Object::object();
    Json::putString(body, "blob", QStringLiteral("ünï"));
    request.setJsonBody(body);
    const CloudReply reply = perform(request);

    ASSERT_FALSE(reply.failed()) << qPrintable(reply.errorText);
    EXPECT_EQ(reply.status, 201);
    EXPECT_EQ(reply.body, R"({"ok":true})");
    EXPECT_EQ(reply.header("server-timing"), "app;dur=12");
    const auto seen = service.requests("/api/sync/shared");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "PUT");
    EXPECT_EQ(seen[0].header("Authorization"), "Bearer tok");
    EXPECT_EQ(seen[0].header("Content-Type"), "application/json");
    EXPECT_EQ(seen[0].body, "{\"blob\":\"ünï\"}");
}

TEST_F(CloudSessionTest, CarriesAMultipartBodyAsGivenAndTheFakeReadsItsParts)
{
    CloudRequest request = session.request(QStringLiteral("dictate"));
    request.method = "POST";
    request.setHeader("Content-Type", "multipart/form-data; boundary=XyZ");
    const QByteArray wav("RIFF\0\0\0\0\r\nWAVE", 14);
    request.body = "--XyZ\r\nContent-Disposition: form-data; name=\"meta\"\r\n"
                   "Content-Type: application/json\r\n\r\n{\"task\":\"cleanup\"}\r\n"
                   "--XyZ\r\nContent-Disposition: form-data; name=\"audio\"; filename=\"a.wav\"\r\n"
                   "Content-Type: audio/wav\r\n\r\n"
        + wav + "\r\n--XyZ--\r\n";
    ASSERT_EQ(perform(request).status, 200);

    const auto seen = service.requests("/api/dictate");
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_EQ(seen[0].parts.size(), 2u);
    EXPECT_EQ(seen[0].part("meta")->content, R"({"task":"cleanup"})");
    EXPECT_EQ(seen[0].part("meta")->contentType, "application/json");
    const FakeCloudService::Part *audio = seen[0].part("audio");
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->filename, "a.wav");
    EXPECT_EQ(audio->content, wav.toStdString());
}

TEST_F(CloudSessionTest, AHeadRequestGetsNoBody)
{
    CloudRequest request = session.request(QStringLiteral("stt"));
    request.method = "HEAD";
    const CloudReply reply = perform(request);
    EXPECT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.body.isEmpty());
    EXPECT_EQ(service.requests("/api/stt").at(0).method, "HEAD");
}

// What comes back when the service misbehaves: each case ends in a reply, never a hang or crash.
struct Misbehaviour
{
    const char *name;
    Reply reply;
    std::chrono::milliseconds timeout;
    qint64 maxReplyBytes;
    CloudReply::TransferError error;
    std::optional<int> status;
};

// The case's name stands for it in test listings, which ctest reads.
void PrintTo(const Misbehaviour &c, std::ostream *os)
{
    *os << c.name;
}

class CloudSessionMisbehaviourTest
    : public CloudSessionTest
    , public ::testing::WithParamInterface<Misbehaviour>
{
};

Reply stalled()
{
    Reply reply;
    reply.delay = 5s;
    return reply;
}
Reply redirect()
{
    Reply reply = Reply::json("", 302);
    reply.headers = {{"Location", "http://127.0.0.1:1/elsewhere"}};
    return reply;
}
Reply huge()
{
    Reply reply;
    reply.fillerBytes = 3 * 1024 * 1024;
    return reply;
}
Reply dropped()
{
    Reply reply = Reply::json(std::string(200000, ' ') + "{}");
    reply.dropMidBody = true;
    return reply;
}

TEST_P(CloudSessionMisbehaviourTest, EndsInTheRightOutcome)
{
    const Misbehaviour &c = GetParam();
    service.script("/api/me", c.reply);
    CloudRequest request = session.request(QStringLiteral("me"));
    request.timeout = c.timeout;
    request.maxReplyBytes = c.maxReplyBytes;
    const CloudReply reply = perform(request);
    EXPECT_EQ(reply.error, c.error) << c.name << ": " << qPrintable(reply.errorText);
    EXPECT_EQ(reply.status, c.status) << c.name;
    EXPECT_EQ(session.transfersInFlight(), 0);
    // A redirect is not followed: the token must not travel to another address.
    EXPECT_EQ(service.requestCount(), 1u) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CloudSessionMisbehaviourTest,
    ::testing::Values(Misbehaviour {"stalled past its time-out", stalled(), 200ms,
                                    CloudRequest::defaultMaxReplyBytes,
                                    CloudReply::TransferError::timedOut, std::nullopt},
                      Misbehaviour {"redirect", redirect(), 60s, CloudRequest::defaultMaxReplyBytes,
                                    CloudReply::TransferError::none, 302},
                      Misbehaviour {"huge body", huge(), 60s, 1024 * 1024,
                                    CloudReply::TransferError::tooLarge, std::nullopt},
                      Misbehaviour {"connection closed mid-body", dropped(), 60s,
                                    CloudRequest::defaultMaxReplyBytes,
                                    CloudReply::TransferError::connectionFailed, std::nullopt}),
    [](const auto &info) {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
        return name;
    });

TEST(CloudSession, AnAddressNobodyListensOnIsAConnectionFailure)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    CloudSession session(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port)));
    const CloudReply reply = QCoro::waitFor(session.perform(session.request(QStringLiteral("me"))));
    EXPECT_EQ(reply.error, CloudReply::TransferError::connectionFailed);
    EXPECT_FALSE(reply.status.has_value());
}

TEST(CloudSession, ShuttingDownEndsTheTransfersStillRunning)
{
    FakeCloudService service;
    Reply slow;
    slow.delay = 5s;
    service.respond("/api/me", slow);
    auto session = std::make_unique<CloudSession>(service.baseURL());
    std::optional<CloudReply> outcome;
    QCoro::connect(session->perform(session->request(QStringLiteral("me"))), qApp,
                   [&](const CloudReply &reply) { outcome = reply; });
    ASSERT_TRUE(service.waitForRequests(1));
    session.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 2000));
    EXPECT_EQ(outcome->error, CloudReply::TransferError::cancelled);
}

// A request whose work is cancelled: already cancelled, it is never sent; cancelled while the
// service holds it, it ends at once and its connection is closed, not left to finish.
TEST_F(CloudSessionTest, ACancelledRequestEndsAtOnceAndClosesItsConnection)
{
    Reply held;
    held.hold = true;
    service.respond("/api/dictate", held);
    CloudRequest request = session.request(QStringLiteral("dictate"));
    request.method = "POST";
    request.body = QByteArray(96 * 1024, 'w');
    CancellationToken cancellation;
    request.cancellation = cancellation;

    std::optional<CloudReply> outcome;
    QCoro::connect(session.perform(request), qApp,
                   [&](const CloudReply &reply) { outcome = reply; });
    ASSERT_TRUE(service.waitForRequests("/api/dictate", 1));
    EXPECT_EQ(service.requests("/api/dictate").at(0).body.size(), size_t(96 * 1024));
    const auto cancelledAt = std::chrono::steady_clock::now();
    cancellation.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, 2000));
    EXPECT_EQ(outcome->error, CloudReply::TransferError::cancelled);
    EXPECT_FALSE(outcome->status.has_value());
    const auto closedAt = service.waitForClose("/api/dictate", 0, 2s);
    ASSERT_TRUE(closedAt.has_value()) << "the connection stayed open";
    EXPECT_LT(*closedAt - cancelledAt, 500ms);
    EXPECT_EQ(session.transfersInFlight(), 0);

    EXPECT_EQ(perform(request).error, CloudReply::TransferError::cancelled);
    EXPECT_EQ(service.requestCount(), 1u) << "a cancelled request was sent";
}

TEST_F(CloudSessionTest, ATraceCollectsTheConnectionSummary)
{
    NetTrace trace;
    CloudRequest request = session.request(QStringLiteral("cleanup"));
    request.trace = &trace;
    ASSERT_EQ(perform(request).status, 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return trace.collected().has_value(); }, 2000));
    EXPECT_TRUE(trace.collected()->startsWith(QStringLiteral("net[reuse=")));
}

} // namespace
