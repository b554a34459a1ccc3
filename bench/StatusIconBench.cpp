#include "Base/ManualClock.h"
#include "Platform/MotionPreference.h"
#include "UI/StatusItem/AlertBadge.h"
#include "UI/StatusItem/MenuBarIcon.h"
#include "UI/StatusItem/StatusButton.h"
#include "UI/StatusItem/StatusItemController.h"
#include "UI/StatusItem/TrayIconRenderer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>

using namespace std::chrono_literals;

// The tray icon while a permission is missing: the badge beats for as long as the process runs.
// One iteration plays one 1.6-second beat on a manual clock, with every frame the button asks for
// rendered at the tray's sizes and compared with the last; "core_percent" is the CPU time this
// takes as a share of one core running in real time, "icons_per_s" how many new icons the tray
// is sent. (Handing an icon to the tray host is not part of it: that needs the desktop session.)

namespace {

class Moving final : public MotionPreference
{
public:
    bool reduceMotion() override { return false; }
};

constexpr auto beat = 1600ms;

double cpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void reportShare(benchmark::State &state, double cpu, qint64 icons)
{
    const double simulated =
        double(state.iterations()) * std::chrono::duration<double>(beat).count();
    state.counters["core_percent"] = 100.0 * cpu / simulated;
    state.counters["icons_per_s"] = double(icons) / simulated;
}

} // namespace

static void BM_TrayBadgeBeat(benchmark::State &state)
{
    ManualClock clock;
    Moving motion;
    StatusButton button(clock);
    button.setImage([](qreal ratio) {
        return MenuBarIcon::image(MenuBarIcon::State::permissionWarning, true, ratio);
    });
    TrayIconRenderer renderer(StatusItemController::trayPixelSizes);
    qint64 icons = 0;
    QObject::connect(&button, &StatusButton::needsDisplay, &button, [&] {
        if (renderer.render(button, Qt::black)) {
            ++icons;
        }
    });
    AlertBadge::update(button, true, StatusItemController::iconSize, motion);
    const double start = cpuSeconds();
    for (auto _ : state) {
        clock.advance(beat);
    }
    reportShare(state, cpuSeconds() - start, icons);
}
BENCHMARK(BM_TrayBadgeBeat)->Unit(benchmark::kMillisecond);

// The same beat rendered and sent at 30 frames a second, as before the limit: the figure to
// compare with.
static void BM_TrayBadgeBeatEveryFrameAt30PerSecond(benchmark::State &state)
{
    ManualClock clock;
    Moving motion;
    StatusButton button(clock);
    button.setImage([](qreal ratio) {
        return MenuBarIcon::image(MenuBarIcon::State::permissionWarning, true, ratio);
    });
    AlertBadge::update(button, true, StatusItemController::iconSize, motion);
    constexpr auto frame = std::chrono::nanoseconds(1s) / 30;
    qint64 icons = 0;
    const double start = cpuSeconds();
    for (auto _ : state) {
        for (auto elapsed = 0ns; elapsed < beat; elapsed += frame) {
            clock.advance(frame);
            for (int pixels : StatusItemController::trayPixelSizes) {
                benchmark::DoNotOptimize(button.render(pixels, Qt::black));
            }
            ++icons;
        }
    }
    reportShare(state, cpuSeconds() - start, icons);
}
BENCHMARK(BM_TrayBadgeBeatEveryFrameAt30PerSecond)->Unit(benchmark::kMillisecond);
