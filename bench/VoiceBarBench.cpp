#include "Core/DictationRig.h"
#include "Platform/X11/X11OverlayWindowing.h"
#include "Support/L10n.h"
#include "UI/VoiceBar/QuickVoiceBarPanel.h"
#include "UI/VoiceBar/QuickVoiceBarPanelFactory.h"
#include "UI/VoiceBar/VoiceBarController.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QQuickView>
#include <QScreen>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

// The voice bar on the display (run with DISPLAY set, e.g. under Xvfb with a window manager):
// the time from a hotkey press reaching the dictation controller to the bar's first frame handed to
// the display, and the processor time the bar costs while a session records with its 30 Hz meter.
// The dictation controller runs on the tests' fakes (no microphone or recogniser); the bar is the
// real one: its controller on the system clock, the Qt Quick views and the overlay windowing.

namespace {

constexpr int answerTimeoutMs = 5000;

double cpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

template<typename Condition>
bool waitUntil(Condition condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > answerTimeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

// Runs the event loop for a while, sleeping between events as the application does.
void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Bar
{
    DictationRig rig;
    X11OverlayWindowing windowing;
    QuickVoiceBarPanelFactory factory {rig.c(), windowing};
    std::unique_ptr<VoiceBarController> controller;

    explicit Bar(bool shown = true)
    {
        L10n::shared().apply(QStringLiteral("en"));
        rig.appSettings().setShowVoiceBar(shown);
        VoiceBarController::Services services;
        services.controller = &rig.c();
        services.settings = &rig.appSettings();
        services.clock = &Clock::system();
        services.l10n = &L10n::shared();
        services.panels = &factory;
        services.screenUnderPointer = [this] {
            return windowing.screenUnderPointer();
        };
        services.mainScreen = []() -> std::optional<OverlayWindowing::ScreenArea> {
            const QScreen *screen = QGuiApplication::primaryScreen();
            return OverlayWindowing::ScreenArea {screen->geometry(), screen->availableGeometry()};
        };
        controller = std::make_unique<VoiceBarController>(services);
        // As the application does once it has started.
        factory.warmUp();
        factory.prepareFirstFrame(rig.appSettings().voiceBarStyle());
    }
};

void reportMedian(benchmark::State &state, std::vector<double> milliseconds, const char *name)
{
    const double cold = milliseconds.front();
    std::sort(milliseconds.begin(), milliseconds.end());
    state.counters[std::string(name) + "_median_ms"] = milliseconds[milliseconds.size() / 2];
    state.counters[std::string(name) + "_max_ms"] = milliseconds.back();
    state.counters["first_press_ms"] = cold;
}

} // namespace

// Twenty presses, each ending with a cancel and the fade-out; the views were compiled ahead, as
// the application does after its start-up.
static void BM_VoiceBarKeyDownToFirstFrame(benchmark::State &state)
{
    Bar bar;
    std::vector<double> samples;
    for (auto _ : state) {
        for (int press = 0; press < 20; ++press) {
            QElapsedTimer timer;
            timer.start();
            qint64 firstFrame = -1;
            bar.rig.c().holdKeyDown(DictationTask::cleanup);
            if (!waitUntil([&] { return bar.controller->panel() != nullptr; })) {
                state.SkipWithError("the bar never showed");
                return;
            }
            auto *panel = dynamic_cast<QuickVoiceBarPanel *>(bar.controller->panel());
            QObject::connect(&panel->window(), &QQuickWindow::frameSwapped, &panel->window(), [&] {
                if (firstFrame < 0) {
                    firstFrame = timer.nsecsElapsed();
                }
            });
            if (!waitUntil([&] { return firstFrame >= 0; })) {
                state.SkipWithError("the bar never drew a frame");
                return;
            }
            samples.push_back(double(firstFrame) / 1e6);
            bar.rig.c().cancel(true);
            runFor(250);
        }
    }
    reportMedian(state, samples, "key_down_to_frame");
}
BENCHMARK(BM_VoiceBarKeyDownToFirstFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

namespace {

// Processor time per second of a recording with the capture delivering a level every 10 ms and
// the transcript growing twice a second.
double recordingCpuShare(bool shown, int seconds)
{
    Bar bar(shown);
    bar.rig.startHeld();
    runFor(300);
    QTimer levels;
    int tick = 0;
    QObject::connect(&levels, &QTimer::timeout, &levels, [&] {
        std::vector<float> samples(480, float(0.3 + 0.25 * std::sin(++tick * 0.3)));
        AudioBuffer buffer {48000, 1, samples};
        bar.rig.audioScript.engines.last()->deliver(buffer);
        if (tick % 50 == 0) {
            bar.rig.engine().say(EngineUpdate::makeVolatile(
                QStringLiteral("words so far number %1 and counting").arg(tick / 50)));
        }
    });
    levels.start(10);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double share = (cpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9);
    levels.stop();
    bar.rig.c().cancel(true);
    runFor(200);
    return 100.0 * share;
}

} // namespace

// The bar's share of one core while recording: the same recording with the bar and without it;
// "bar_core_percent" is the difference (the views, the meter at 30 Hz and the drawing).
static void BM_VoiceBarCpuWhileRecording(benchmark::State &state)
{
    std::vector<double> with;
    std::vector<double> without;
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            without.push_back(recordingCpuShare(false, 4));
            with.push_back(recordingCpuShare(true, 4));
        }
    }
    std::sort(with.begin(), with.end());
    std::sort(without.begin(), without.end());
    state.counters["with_bar_core_percent"] = with[with.size() / 2];
    state.counters["without_bar_core_percent"] = without[without.size() / 2];
    state.counters["bar_core_percent"] = with[with.size() / 2] - without[without.size() / 2];
}
BENCHMARK(BM_VoiceBarCpuWhileRecording)->Iterations(1)->Unit(benchmark::kMillisecond);
