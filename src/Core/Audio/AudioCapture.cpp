#include "Core/Audio/AudioCapture.h"

#include "Core/Audio/MicrophoneDevices.h"
#include "Core/DebugLog.h"
#include "Support/L10n.h"

#include <QThreadPool>

QString AudioCapture::CaptureError::errorDescription() const
{
    return errorDescription(L10n::shared().language());
}

QString AudioCapture::CaptureError::errorDescription(AppLanguage language) const
{
    return L10n::lookup(QStringLiteral("error.no_input_device"), language);
}

std::optional<QString> AudioCapture::failureDescription(const std::exception_ptr &error)
{
    return failureDescription(error, L10n::shared().language());
}

std::optional<QString> AudioCapture::failureDescription(const std::exception_ptr &error,
                                                        AppLanguage language)
{
    if (!error) {
        return std::nullopt;
    }
    try {
        std::rethrow_exception(error);
    } catch (const CaptureError &captureError) {
        return captureError.errorDescription(language);
    } catch (const AudioEngine::Error &) {
        return CaptureError().errorDescription(language);
    } catch (...) {
        return std::nullopt;
    }
}

AudioCapture::AudioCapture(EngineFactory makeEngine, AudioHardware &hardware, Clock &clock)
    : m_makeEngine(std::move(makeEngine))
    , m_hardware(hardware)
    , m_clock(clock)
    , m_mainContext(std::make_unique<QObject>())
{ }

AudioCapture::~AudioCapture()
{
    teardownEngine();
}

void AudioCapture::setOnBuffer(BufferCallback callback)
{
    std::lock_guard guard(m_callbackLock);
    m_onBuffer = std::move(callback);
}

void AudioCapture::setOnLevel(LevelCallback callback)
{
    std::lock_guard guard(m_callbackLock);
    m_onLevel = std::move(callback);
}

void AudioCapture::setOnFailure(FailureCallback callback)
{
    std::lock_guard guard(m_callbackLock);
    m_onFailure = std::move(callback);
}

void AudioCapture::setOnStartStage(StageCallback callback)
{
    std::lock_guard guard(m_callbackLock);
    m_onStartStage = std::move(callback);
}

void AudioCapture::start()
{
    if (m_running) {
        return;
    }
    m_meter.reset();
    rebuildEngine();
    reportStage(QStringLiteral("audio.engineInit"));
    try {
        installTapAndStart();
    } catch (...) {
        teardownEngine();
        throw;
    }
    m_running = true;
}

void AudioCapture::stop()
{
    if (!m_running) {
        return;
    }
    m_running = false;
    teardownEngine();
    // Queued behind the level values the tap has already posted, so meters end at 0.
    postLevels({0.0f});
}

void AudioCapture::setPreferredDeviceUID(const std::optional<QString> &uid)
{
    if (uid == m_preferredDeviceUID) {
        return;
    }
    m_preferredDeviceUID = uid;
    if (m_running) {
        restart();
    }
}

void AudioCapture::rebuildEngine()
{
    teardownEngine();
    m_engine = m_makeEngine();
    if (!m_engine) {
        return;
    }
    m_configObserver = QObject::connect(
        m_engine.get(), &AudioEngine::configurationChanged, m_mainContext.get(),
        [this] { configurationChanged(); }, Qt::QueuedConnection);
}

void AudioCapture::teardownEngine()
{
    if (m_configObserver) {
        QObject::disconnect(m_configObserver);
        m_configObserver = {};
    }
    if (m_engine) {
        m_engine->removeTap();
        m_engine->stop();
        m_engine.reset();
    }
}

void AudioCapture::installTapAndStart()
{
    if (!m_engine) {
        throw CaptureError();
    }
    AudioEngine &engine = *m_engine;
    applyPreferredDevice(engine);

    const AudioEngine::Format format = engine.inputFormat();
    if (!(format.sampleRate > 0) || format.channels == 0) {
        throw CaptureError();
    }
    m_tapFormat = format;
    engine.removeTap();
    engine.installTap(tapBufferSize, format, [this](const AudioBuffer &buffer) { tap(buffer); });
    engine.prepare();
    reportStage(QStringLiteral("audio.tapReady"),
                QString::asprintf("%.0fHz %dch", format.sampleRate, format.channels));

    const auto before = m_clock.uptime();
    engine.start();
    const double milliseconds = double((m_clock.uptime() - before).count()) / 1'000'000.0;
    reportStage(QStringLiteral("audio.engineStart"),
                QString::asprintf("IO開始 %.0fms", milliseconds));
    if (milliseconds > double(slowStartThreshold.count())) {
        reportSlowStart(milliseconds);
    }
}

void AudioCapture::applyPreferredDevice(AudioEngine &engine)
{
    if (!m_preferredDeviceUID) {
        return;
    }
    // A device that is not there is passed over silently: the system default takes its place.
    const auto deviceID = MicrophoneDevices::deviceID(*m_preferredDeviceUID, m_hardware);
    if (!deviceID) {
        return;
    }
    if (const auto failure = engine.setCurrentDevice(*deviceID)) {
        DebugLog::log(QStringLiteral("audio: mic pin failed (") + *failure
                      + QStringLiteral(") uid=") + *m_preferredDeviceUID
                      + QStringLiteral(" → システム既定にフォールバック"));
    }
}

void AudioCapture::restart()
{
    rebuildEngine();
    try {
        installTapAndStart();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        m_running = false;
        teardownEngine();
        QMetaObject::invokeMethod(
            m_mainContext.get(),
            [this, error] {
                LevelCallback onLevel;
                FailureCallback onFailure;
                {
                    std::lock_guard guard(m_callbackLock);
                    onLevel = m_onLevel;
                    onFailure = m_onFailure;
                }
                if (onLevel) {
                    onLevel(0.0f);
                }
                if (onFailure) {
                    onFailure(error);
                }
            },
            Qt::QueuedConnection);
    }
}

void AudioCapture::configurationChanged()
{
    if (!m_running) {
        return;
    }
    if (m_engine && m_engine->isRunning() && m_engine->inputFormat() == m_tapFormat) {
        return;
    }
    restart();
}

void AudioCapture::tap(const AudioBuffer &buffer)
{
    BufferCallback onBuffer;
    {
        std::lock_guard guard(m_callbackLock);
        onBuffer = m_onBuffer;
    }
    if (onBuffer) {
        onBuffer(buffer);
    }
    QList<float> values = m_meter.meter(buffer);
    if (!values.isEmpty()) {
        postLevels(std::move(values));
    }
}

void AudioCapture::postLevels(QList<float> values)
{
    // One hop for all values of a buffer.
    QMetaObject::invokeMethod(
        m_mainContext.get(),
        [this, values = std::move(values)] {
            LevelCallback onLevel;
            {
                std::lock_guard guard(m_callbackLock);
                onLevel = m_onLevel;
            }
            if (!onLevel) {
                return;
            }
            for (const float value : values) {
                onLevel(value);
            }
        },
        Qt::QueuedConnection);
}

void AudioCapture::reportStage(const QString &stage, const std::optional<QString> &detail)
{
    StageCallback onStartStage;
    {
        std::lock_guard guard(m_callbackLock);
        onStartStage = m_onStartStage;
    }
    if (onStartStage) {
        onStartStage(stage, detail);
    }
}

void AudioCapture::reportSlowStart(double milliseconds) const
{
    QThreadPool::globalInstance()->start(
        [milliseconds, uid = m_preferredDeviceUID, hardware = &m_hardware] {
            const QString name =
                MicrophoneDevices::inputDeviceName(uid, *hardware).value_or(QStringLiteral("不明"));
            DebugLog::log(
                QString::asprintf("audio: マイクの IO 開始が遅い %.0fms device=", milliseconds)
                + name + QLatin1Char('(')
                + (uid ? QStringLiteral("設定で指定") : QStringLiteral("システム既定"))
                + QStringLiteral(") — 設定→口述→マイク入力デバイスで別のマイクを選ぶと短縮できる"));
        });
}
