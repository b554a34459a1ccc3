// Presses and releases keys by raw keycode through XTest, on the display named by $DISPLAY.
// Keycodes rather than keysyms: a keysym tool may pick a different key for the same symbol
// (Super_R through Super_L's code), and the hotkey code under test tells those apart.
//
// Usage: sonorvelle_key_injector STEP...
//   down:CODE   press the key with that keycode
//   up:CODE     release it
//   tap:CODE    press and release
//   sleep:MS    wait, e.g. to hold a key
//
// Returns once the X server has processed every event.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

struct Step
{
    enum Kind { Down, Up, Tap, Sleep } kind;
    long value;
};

[[noreturn]] void fail(const std::string &problem)
{
    std::fprintf(stderr, "sonorvelle_key_injector: %s\n", problem.c_str());
    std::exit(2);
}

Step parseStep(const std::string &arg)
{
    const auto colon = arg.find(':');
    if (colon == std::string::npos) {
        fail("bad step '" + arg + "' (want down:CODE, up:CODE, tap:CODE or sleep:MS)");
    }
    const std::string kind = arg.substr(0, colon);
    const std::string number = arg.substr(colon + 1);
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0' || errno != 0 || value < 0) {
        fail("bad number in step '" + arg + "'");
    }
    if (kind == "sleep") {
        return {Step::Sleep, value};
    }
    if (value < 8 || value > 255) {
        fail("keycode out of range 8..255 in step '" + arg + "'");
    }
    if (kind == "down") {
        return {Step::Down, value};
    }
    if (kind == "up") {
        return {Step::Up, value};
    }
    if (kind == "tap") {
        return {Step::Tap, value};
    }
    fail("unknown step kind in '" + arg + "'");
}

void fakeKey(xcb_connection_t *connection, std::uint8_t type, long keycode)
{
    xcb_test_fake_input(connection, type, std::uint8_t(keycode), XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        0);
}

// A round trip: when its reply arrives, the server has handled every request sent before it.
void sync(xcb_connection_t *connection)
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fail("usage: sonorvelle_key_injector (down:CODE | up:CODE | tap:CODE | sleep:MS)...");
    }
    std::vector<Step> steps;
    for (int i = 1; i < argc; ++i) {
        steps.push_back(parseStep(argv[i]));
    }

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(nullptr, nullptr), &xcb_disconnect);
    if (xcb_connection_has_error(connection.get())) {
        fail("cannot connect to the X display (is DISPLAY set?)");
    }
    const xcb_query_extension_reply_t *xtest =
        xcb_get_extension_data(connection.get(), &xcb_test_id);
    if (!xtest || !xtest->present) {
        fail("the X server lacks the XTEST extension");
    }

    for (const Step &step : steps) {
        switch (step.kind) {
        case Step::Down:
            fakeKey(connection.get(), XCB_KEY_PRESS, step.value);
            break;
        case Step::Up:
            fakeKey(connection.get(), XCB_KEY_RELEASE, step.value);
            break;
        case Step::Tap:
            fakeKey(connection.get(), XCB_KEY_PRESS, step.value);
            fakeKey(connection.get(), XCB_KEY_RELEASE, step.value);
            break;
        case Step::Sleep:
            // Events sent so far must reach the server before the pause, or a "hold" is no hold.
            sync(connection.get());
            std::this_thread::sleep_for(std::chrono::milliseconds(step.value));
            break;
        }
    }
    sync(connection.get());
    if (xcb_connection_has_error(connection.get())) {
        fail("the X connection broke while sending keys");
    }
    return 0;
}
