#include "Integration/AppHome.h"
#include "Integration/AudioFeeder.h"
#include "Integration/X11TestSupport.h"

#include "Base/Clock.h"
#include "Core/Keychain.h"
#include "Platform/Qt/QtKeychainBackend.h"
#include "TestSupport/FakeCloudService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QUuid>

#include <QCoro/QCoroTask>

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>
#include <vector>

// The real application under the session's display (scripts/test --bench starts one), launched
// afresh several times: from the dictation key going down to the voice bar's window mapped on the
// display, for the first press after the launch and for the presses after it; and from the ask
// key going up to the answer card's window mapped, for the first card and the next one, with the
// tests' fake cloud service answering at once. Each figure is a median over the launches (the
// later presses over every launch's later presses). The key goes in through XTest, and the map is
// read from the display's own notifications, so the figures are what a user's eye could see at the
// earliest.

namespace {

using Ns = std::chrono::nanoseconds;
using SteadyClock = std::chrono::steady_clock;

constexpr int launches = 5;
constexpr int barPresses = 6;
constexpr int waitMs = 15000;
// Left after the launch line before the first press, as a user's first press comes a moment
// after the tray icon shows; the application's idle-time preparation has run by then.
constexpr int settleAfterLaunchMs = 2500;
const QString recordingPath = QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");

double milliseconds(Ns duration)
{
    return double(duration.count()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// Runs the event loop (the fake service's replies, the keychain's answers) for a while.
void runFor(int ms)
{
    QTest::qWait(ms);
}

// The windows of one process as the display maps and unmaps them: an override-redirect panel is
// seen directly, a managed window through the frame the window manager put it in.
class MapWatcher
{
public:
    explicit MapWatcher(qint64 pid)
        : m_connection(xcb_connect(nullptr, nullptr))
        , m_pid(uint32_t(pid))
    {
        xcb_connection_t *x = m_connection.get();
        m_root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
        m_pidAtom = internAtom(x, "_NET_WM_PID");
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(x, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(x);
    }

    xcb_connection_t *connection() const { return m_connection.get(); }

    // When the next window of the process came on screen; none within the wait.
    std::optional<SteadyClock::time_point> waitForMap() { return waitFor(XCB_MAP_NOTIFY); }
    std::optional<SteadyClock::time_point> waitForUnmap() { return waitFor(XCB_UNMAP_NOTIFY); }

    // When the screen first shows `drawn` at `point`; none within the wait.
    template<typename Drawn>
    std::optional<SteadyClock::time_point> waitForPixel(QPoint point, Drawn drawn)
    {
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(waitMs);
        while (SteadyClock::now() < deadline) {
            if (drawn(screenPixel(point))) {
                return SteadyClock::now();
            }
            ::usleep(500);
        }
        return std::nullopt;
    }

    // Reads the notifications that came meanwhile, while the event loop runs for `ms`.
    void settle(int ms)
    {
        runFor(ms);
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection.get())) {
            note(event);
            free(event);
        }
    }

private:
    bool ours(xcb_window_t window)
    {
        return m_frames.count(window) != 0
            || cardinalProperty(m_connection.get(), window, m_pidAtom)
            == std::optional<uint32_t>(m_pid);
    }

    // Notes the frames the window manager takes the process's windows into; the event type of
    // a notification about one of the process's windows, 0 for any other.
    uint8_t note(xcb_generic_event_t *event)
    {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_REPARENT_NOTIFY) {
            const auto *reparent = reinterpret_cast<xcb_reparent_notify_event_t *>(event);
            if (reparent->parent != m_root && ours(reparent->window)) {
                m_frames.insert(reparent->parent);
            }
            return 0;
        }
        if (type == XCB_MAP_NOTIFY) {
            const xcb_window_t window = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
            if (!ours(window)) {
                return 0;
            }
            m_shown.insert(window);
            return type;
        }
        // The window may be gone already, and its properties with it.
        if (type == XCB_UNMAP_NOTIFY) {
            return m_shown.erase(reinterpret_cast<xcb_unmap_notify_event_t *>(event)->window) != 0
                ? type
                : 0;
        }
        return 0;
    }

    std::optional<SteadyClock::time_point> waitFor(uint8_t wanted)
    {
        xcb_connection_t *x = m_connection.get();
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(waitMs);
        while (SteadyClock::now() < deadline) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(x)) {
                const uint8_t type = note(event);
                free(event);
                if (type == wanted) {
                    return SteadyClock::now();
                }
            }
            if (xcb_connection_has_error(x)) {
                return std::nullopt;
            }
            // The display's notification wakes this at once; the event loop runs between them
            // for the fake service and the feeder.
            pollfd descriptor {xcb_get_file_descriptor(x), POLLIN, 0};
            ::poll(&descriptor, 1, 2);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        return std::nullopt;
    }

    XcbConnection m_connection;
    uint32_t m_pid;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
    std::set<xcb_window_t> m_frames;
    std::set<xcb_window_t> m_shown;
};

// One launch of the application in a fresh home, quit when it goes.
struct Launch
{
    AppHome home;
    QProcess app;

    // Starts the application with `defaults` and waits until it has launched and settled; false
    // when it did not come up.
    bool start(const QByteArray &defaults, const QProcessEnvironment &extra = {})
    {
        if (!home.writeDefaults(defaults)) {
            return false;
        }
        QProcessEnvironment environment = home.environment();
        environment.insert(extra);
        app.setProcessEnvironment(environment);
        app.setStandardOutputFile(QProcess::nullDevice());
        app.setStandardErrorFile(QProcess::nullDevice());
        app.start(QStringLiteral(SONORVELLE_APP_BINARY), {});
        if (!app.waitForStarted(waitMs) || !waitForLog(QStringLiteral("app: launched"), 1)) {
            return false;
        }
        runFor(settleAfterLaunchMs);
        return true;
    }

    // Waits until the log holds `text` `count` times.
    bool waitForLog(const QString &text, qsizetype count)
    {
        return QTest::qWaitFor([&] { return home.log().count(text) >= count; }, waitMs);
    }

    ~Launch() { AppHome::quit(app); }
};

} // namespace

// The dictation key (right Super) held down until the bar shows, then Escape and the release; the
// next press once the bar has gone. Besides the map, the time until the notch style's near-black
// tab is on screen, the first frame the user sees.
static void BM_AppVoiceBarKeyDownToMapped(benchmark::State &state)
{
    const quint32 dictationKey = keycodeFor(XKB_KEY_Super_R);
    const quint32 escape = keycodeFor(XKB_KEY_Escape);
    if (dictationKey == 0 || escape == 0) {
        state.SkipWithError("the keymap has no right Super or Escape key");
        return;
    }
    // In the notch's tab, hanging from the top centre of the screen, over a light desktop.
    const QPoint inTab(550, 3);
    paintDesktop(qRgb(0xc0, 0xc0, 0xc0));
    std::vector<double> first;
    std::vector<double> later;
    std::vector<double> firstDrawn;
    std::vector<double> laterDrawn;
    for (auto _ : state) {
        for (int round = 0; round < launches; ++round) {
            Launch run;
            if (!run.start(R"({"onboardingCompleted": true, "cleanupMode": "rules"})")) {
                state.SkipWithError("the application did not launch");
                return;
            }
            MapWatcher watcher(run.app.processId());
            watcher.settle(0);
            for (int press = 0; press < barPresses; ++press) {
                const auto down = SteadyClock::now();
                if (!sendKey(watcher.connection(), dictationKey, true)) {
                    state.SkipWithError("XTest refused the key");
                    return;
                }
                const auto mapped = watcher.waitForMap();
                const auto drawn = watcher.waitForPixel(inTab, [](const QColor &color) {
                    return color.isValid() && color.red() <= 16 && color.green() <= 16
                        && color.blue() <= 16;
                });
                sendKey(watcher.connection(), escape, true);
                sendKey(watcher.connection(), escape, false);
                sendKey(watcher.connection(), dictationKey, false);
                if (!mapped || !drawn) {
                    state.SkipWithError("the voice bar never showed");
                    return;
                }
                (press == 0 ? first : later).push_back(milliseconds(*mapped - down));
                (press == 0 ? firstDrawn : laterDrawn).push_back(milliseconds(*drawn - down));
                watcher.waitForUnmap();
                watcher.settle(700);
            }
        }
    }
    state.counters["first_press_ms"] = median(first);
    state.counters["later_press_ms"] = median(later);
    state.counters["first_press_max_ms"] = *std::max_element(first.begin(), first.end());
    state.counters["first_press_drawn_ms"] = median(firstDrawn);
    state.counters["later_press_drawn_ms"] = median(laterDrawn);
}
BENCHMARK(BM_AppVoiceBarKeyDownToMapped)->Iterations(1)->Unit(benchmark::kMillisecond);

// Two asks per launch, signed in with cloud transcription: the ask key (right Alt) held while the
// virtual microphone plays a recording, released a moment after it; the time from the release to
// the card's window mapped. Escape closes each card before the next ask.
static void BM_AppAnswerCardKeyUpToMapped(benchmark::State &state)
{
    const quint32 askKey = keycodeFor(XKB_KEY_Alt_R);
    const quint32 escape = keycodeFor(XKB_KEY_Escape);
    if (askKey == 0 || escape == 0 || !QFile::exists(recordingPath)) {
        state.SkipWithError("the keymap has no right Alt or Escape key, or the recording of "
                            "pocketsphinx-testdata is missing");
        return;
    }
    QtKeychainBackend backend;
    Keychain keychain {&backend, Clock::system(), std::chrono::seconds(10)};
    QCoro::waitFor(keychain.load());
    if (keychain.isMemoryOnly()) {
        state.SkipWithError("no secret service on the session bus");
        return;
    }
    keychain.set(QStringLiteral("token-") + QUuid::createUuid().toString(QUuid::Id128),
                 QStringLiteral("cloudToken"));
    keychain.set(QStringLiteral("user@example.org"), QStringLiteral("cloudEmail"));
    keychain.set(QStringLiteral("pro"), QStringLiteral("cloudTier"));
    QCoro::waitFor(keychain.waitForPendingJobs());
    FakeCloudService service;
    service.respond("/api/me",
                    FakeCloudService::Reply::json(R"({"email":"user@example.org","tier":"pro"})"));
    service.respond(
        "/api/dictate",
        FakeCloudService::Reply::json(R"({"raw":"how far is it","text":"About ten meters."})"));
    QProcessEnvironment cloud;
    cloud.insert(QStringLiteral("SONORVELLE_CLOUD_URL"), service.baseURL().toString());

    std::vector<double> first;
    std::vector<double> later;
    for (auto _ : state) {
        for (int round = 0; round < launches; ++round) {
            Launch run;
            if (!run.start(
                    R"({"onboardingCompleted": true, "cleanupMode": "cloud", "cloudSTT": true})",
                    cloud)) {
                state.SkipWithError("the application did not launch");
                break;
            }
            MapWatcher watcher(run.app.processId());
            watcher.settle(0);
            for (int ask = 0; ask < 2; ++ask) {
                sendKey(watcher.connection(), askKey, true);
                AudioFeeder feeder;
                feeder.start(recordingPath);
                // The voice bar comes and goes while the key is held.
                const bool spoke = feeder.waitFor("speech-end");
                watcher.settle(300);
                const auto up = SteadyClock::now();
                sendKey(watcher.connection(), askKey, false);
                std::optional<SteadyClock::time_point> mapped;
                // The bar's fade-out may still be under way: the card is the window mapped
                // once the bar has gone.
                while (spoke && (mapped = watcher.waitForMap())) {
                    if (run.waitForLog(QStringLiteral("answer card shown"), ask + 1)) {
                        break;
                    }
                }
                feeder.stop();
                if (!mapped) {
                    state.SkipWithError("no answer card came");
                    break;
                }
                (ask == 0 ? first : later).push_back(milliseconds(*mapped - up));
                sendKey(watcher.connection(), escape, true);
                sendKey(watcher.connection(), escape, false);
                watcher.settle(1000);
            }
        }
    }
    for (const auto key : {u"cloudToken", u"cloudEmail", u"cloudTier"}) {
        keychain.remove(QString::fromUtf16(key));
    }
    QCoro::waitFor(keychain.waitForPendingJobs());
    if (!first.empty()) {
        state.counters["first_card_ms"] = median(first);
        state.counters["later_card_ms"] = median(later);
    }
}
BENCHMARK(BM_AppAnswerCardKeyUpToMapped)->Iterations(1)->Unit(benchmark::kMillisecond);
