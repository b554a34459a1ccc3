// Owns the CLIPBOARD selection of $DISPLAY and answers every request (TARGETS included) only after
// a delay, like an application that renders each format on demand.
//
// Usage: sonorvelle_slow_clipboard_owner [--text TEXT] [--targets N] [--delay-ms MS] [--serial]
//   --text      the text offered (default "slow owner text")
//   --targets   how many content targets are offered, 1 to 16 (default 5): the text as
//               "text/plain;charset=utf-8", then "UTF8_STRING", "text/html" and made-up types
//   --delay-ms  how long each answer takes (default 150)
//   --serial    answer one request after the other, each taking the delay, as an owner whose
//               event loop is busy rendering; by default each request is answered the delay
//               after it came, whatever else is pending
//
// Prints "ready" once it owns the clipboard, "served NAME" after each answer and "lost" when
// another client takes the clipboard. Ends when its standard input closes or it loses the
// clipboard.

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Options
{
    std::string text = "slow owner text";
    int targets = 5;
    int delayMs = 150;
    bool serial = false;
};

struct Content
{
    xcb_atom_t target;
    std::string name;
    std::string data;
};

struct Request
{
    xcb_selection_request_event_t event;
    Clock::time_point due;
};

[[noreturn]] void fail(const std::string &problem)
{
    std::fprintf(stderr, "sonorvelle_slow_clipboard_owner: %s\n", problem.c_str());
    std::exit(2);
}

int number(const char *text, int low, int high)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < low || value > high) {
        fail(std::string("bad number '") + text + "'");
    }
    return int(value);
}

Options parse(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--text" && hasValue) {
            options.text = argv[++i];
        } else if (arg == "--targets" && hasValue) {
            options.targets = number(argv[++i], 1, 16);
        } else if (arg == "--delay-ms" && hasValue) {
            options.delayMs = number(argv[++i], 0, 60000);
        } else if (arg == "--serial") {
            options.serial = true;
        } else {
            fail("unknown argument '" + arg + "'");
        }
    }
    return options;
}

xcb_atom_t intern(xcb_connection_t *connection, const std::string &name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, 0, uint16_t(name.size()), name.c_str()),
                              nullptr),
        &std::free);
    if (!reply) {
        fail("cannot intern " + name);
    }
    return reply->atom;
}

void say(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parse(argc, argv);
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        fail("cannot reach the X11 display");
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_atom_t clipboard = intern(connection, "CLIPBOARD");
    const xcb_atom_t targetsAtom = intern(connection, "TARGETS");
    const xcb_atom_t timestampAtom = intern(connection, "TIMESTAMP");
    const xcb_atom_t stampProperty = intern(connection, "_SONORVELLE_FIXTURE_TIME");

    std::vector<Content> contents;
    const char *names[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/html"};
    for (int i = 0; i < options.targets; ++i) {
        const std::string name =
            i < 3 ? names[i] : "application/x-sonorvelle-fixture-" + std::to_string(i);
        const std::string data = i == 2 ? "<b>" + options.text + "</b>"
            : i < 2                     ? options.text
                                        : "payload " + std::to_string(i);
        contents.push_back({intern(connection, name), name, data});
    }

    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t mask[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, mask);
    // The selection is taken with a real server time, which a property change reports.
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, window, stampProperty, XCB_ATOM_INTEGER,
                        32, 0, nullptr);
    xcb_flush(connection);
    xcb_timestamp_t ownTime = 0;
    while (xcb_generic_event_t *event = xcb_wait_for_event(connection)) {
        const bool stamp = (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY;
        if (stamp) {
            ownTime = reinterpret_cast<xcb_property_notify_event_t *>(event)->time;
        }
        std::free(event);
        if (stamp) {
            break;
        }
    }
    xcb_set_selection_owner(connection, window, clipboard, ownTime);
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, clipboard),
                                      nullptr),
        &std::free);
    if (!owner || owner->owner != window) {
        fail("could not take the clipboard");
    }
    say("ready");

    const auto delay = std::chrono::milliseconds(options.delayMs);
    std::deque<Request> pending;
    Clock::time_point busyUntil = Clock::now();

    const auto answer = [&](const xcb_selection_request_event_t &request) {
        xcb_selection_notify_event_t notify {};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = XCB_ATOM_NONE;
        const xcb_atom_t property =
            request.property != XCB_ATOM_NONE ? request.property : request.target;
        std::string served = "refused";
        if (request.target == targetsAtom) {
            std::vector<xcb_atom_t> list {targetsAtom, timestampAtom};
            for (const Content &content : contents) {
                list.push_back(content.target);
            }
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property,
                                XCB_ATOM_ATOM, 32, uint32_t(list.size()), list.data());
            notify.property = property;
            served = "TARGETS";
        } else if (request.target == timestampAtom) {
            xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor, property,
                                XCB_ATOM_INTEGER, 32, 1, &ownTime);
            notify.property = property;
            served = "TIMESTAMP";
        } else {
            for (const Content &content : contents) {
                if (content.target == request.target) {
                    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request.requestor,
                                        property, content.target, 8, uint32_t(content.data.size()),
                                        content.data.data());
                    notify.property = property;
                    served = content.name;
                }
            }
        }
        xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&notify));
        xcb_flush(connection);
        say("served " + served);
    };

    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_SELECTION_REQUEST) {
                const auto *request = reinterpret_cast<xcb_selection_request_event_t *>(event);
                const Clock::time_point now = Clock::now();
                // A serial owner starts on a request only once it has finished the one before.
                const Clock::time_point start = options.serial ? std::max(now, busyUntil) : now;
                busyUntil = start + delay;
                pending.push_back({*request, start + delay});
            } else if (type == XCB_SELECTION_CLEAR) {
                say("lost");
                std::free(event);
                xcb_disconnect(connection);
                return 0;
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection)) {
            fail("the display went away");
        }
        const Clock::time_point now = Clock::now();
        std::stable_sort(pending.begin(), pending.end(),
                         [](const Request &a, const Request &b) { return a.due < b.due; });
        while (!pending.empty() && pending.front().due <= now) {
            answer(pending.front().event);
            pending.pop_front();
        }
        int timeoutMs = -1;
        if (!pending.empty()) {
            timeoutMs = int(
                std::chrono::ceil<std::chrono::milliseconds>(pending.front().due - now).count());
        }
        pollfd fds[] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {0, POLLIN, 0}};
        if (poll(fds, 2, timeoutMs) < 0) {
            fail("poll failed");
        }
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buffer[256];
            if (read(0, buffer, sizeof buffer) <= 0) {
                xcb_disconnect(connection);
                return 0;
            }
        }
    }
}
