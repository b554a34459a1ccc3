#pragma once

#include "TestSupport/FakeCloudService.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A sync endpoint of the fake service as the real service keeps it: one blob per account (per
// bearer token) with a version that counts the accepted pushes. A GET answers {"version","blob"},
// or {} before the first push; a PUT whose "baseVersion" is the current version is stored under
// the next version and answered {"version"}, any other PUT is refused with 409.
//
// Scripted replies queued for the path still come first, so a test can put a failure in between.
class VersionedSyncStore
{
public:
    struct Copy
    {
        std::int64_t version = 0;
        std::string blob;
    };

    VersionedSyncStore(FakeCloudService &service, const std::string &path)
        : m_state(std::make_shared<State>())
    {
        // The handler holds the state, so a request that arrives late never finds it gone.
        service.serve(path, [state = m_state](const FakeCloudService::Request &request) {
            return state->answer(request);
        });
    }

    void seed(const std::string &token, std::int64_t version, std::string blob)
    {
        std::lock_guard lock(m_state->mutex);
        m_state->copies[token] = Copy {version, std::move(blob)};
    }

    // Every later request is answered this long after it arrived (a slow service); the copy is
    // read or written on arrival.
    void setDelay(std::chrono::milliseconds delay)
    {
        std::lock_guard lock(m_state->mutex);
        m_state->delay = delay;
    }

    Copy copy(const std::string &token) const
    {
        std::lock_guard lock(m_state->mutex);
        const auto found = m_state->copies.find(token);
        return found == m_state->copies.end() ? Copy {} : found->second;
    }

private:
    struct State
    {
        std::mutex mutex;
        std::map<std::string, Copy> copies;
        std::chrono::milliseconds delay {0};

        FakeCloudService::Reply answer(const FakeCloudService::Request &request)
        {
            FakeCloudService::Reply reply = handle(request);
            std::lock_guard lock(mutex);
            reply.delay = delay;
            return reply;
        }

        FakeCloudService::Reply handle(const FakeCloudService::Request &request)
        {
            using Reply = FakeCloudService::Reply;
            const std::string authorization = request.header("Authorization");
            const std::string bearer = "Bearer ";
            if (authorization.rfind(bearer, 0) != 0) {
                return Reply::json(R"({"error":"unauthorized"})", 401);
            }
            const std::string token = authorization.substr(bearer.size());
            std::lock_guard lock(mutex);
            Copy &copy = copies[token];
            if (request.method == "GET") {
                if (copy.version == 0) {
                    return Reply::json("{}");
                }
                return Reply::json(
                    nlohmann::json {{"version", copy.version}, {"blob", copy.blob}}.dump());
            }
            if (request.method != "PUT") {
                return Reply::json("{}", 405);
            }
            const auto body = nlohmann::json::parse(request.body, nullptr, false);
            if (!body.is_object() || !body.contains("blob") || !body["blob"].is_string()
                || !body.contains("baseVersion") || !body["baseVersion"].is_number_integer()) {
                return Reply::json(R"({"error":"bad request"})", 400);
            }
            if (body["baseVersion"].get<std::int64_t>() != copy.version) {
                return Reply::json(R"({"error":"conflict"})", 409);
            }
            copy.version += 1;
            copy.blob = body["blob"].get<std::string>();
            return Reply::json(nlohmann::json {{"version", copy.version}}.dump());
        }
    };

    std::shared_ptr<State> m_state;
};
