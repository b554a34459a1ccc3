#include "Platform/Qt/QtAudioEngine.h"

#include "Base/Timer.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>

#include <atomic>
#include <cstring>
#include <vector>

namespace {

AudioEngine::Format formatOf(const QAudioDevice &device)
{
    if (device.isNull()) {
        return {};
    }
    const QAudioFormat preferred = device.preferredFormat();
    return {double(preferred.sampleRate()), preferred.channelCount()};
}

QAudioDevice inputWithID(const QByteArray &id)
{
    for (const QAudioDevice &device : QMediaDevices::audioInputs()) {
        if (device.id() == id) {
            return device;
        }
    }
    return {};
}

QString describe(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError:
        return QStringLiteral("no error");
    case QAudio::OpenError:
        return QStringLiteral("the input could not be opened");
    case QAudio::IOError:
        return QStringLiteral("reading the input failed");
    case QAudio::UnderrunError:
        return QStringLiteral("the input ran dry");
    case QAudio::FatalError:
        return QStringLiteral("the sound server failed");
    }
    return QStringLiteral("unknown audio error");
}

} // namespace

// Owns the QAudioSource on the capture thread, turns its bytes into float frames and hands them
// to the tap in blocks of the tap's size.
class QtAudioCaptureWorker : public QObject
{
    Q_OBJECT

public:
    std::atomic<bool> running {false};

    // Capture thread.
    QString start(const QAudioDevice &device, const AudioEngine::Format &format)
    {
        QAudioFormat audioFormat;
        audioFormat.setSampleRate(int(format.sampleRate));
        audioFormat.setChannelCount(format.channels);
        audioFormat.setSampleFormat(QAudioFormat::Float);
        if (!device.isFormatSupported(audioFormat)) {
            audioFormat.setSampleFormat(QAudioFormat::Int16);
        }
        m_sampleFormat = audioFormat.sampleFormat();
        m_channels = format.channels;
        m_sampleRate = format.sampleRate;

        m_source = std::make_unique<QAudioSource>(device, audioFormat);
        // Small reads keep the delay from microphone to tap near the tap's own block length.
        m_source->setBufferSize(audioFormat.bytesForDuration(20'000));
        connect(m_source.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
            if (state == QAudio::StoppedState && m_source->error() != QAudio::NoError
                && running.exchange(false)) {
                Q_EMIT failed();
            }
        });
        m_io = m_source->start();
        if (!m_io || m_source->error() != QAudio::NoError) {
            const QString reason = describe(m_source->error());
            m_source.reset();
            m_io = nullptr;
            return reason;
        }
        connect(m_io, &QIODevice::readyRead, this, &QtAudioCaptureWorker::readAvailable);
        running = true;
        return {};
    }

    // Capture thread.
    void stop()
    {
        running = false;
        if (m_source) {
            m_source->disconnect(this);
            m_source->stop();
            m_source.reset();
        }
        m_io = nullptr;
        m_bytes.clear();
    }

    // Capture thread.
    void setTap(qsizetype bufferFrames, AudioEngine::TapBlock block)
    {
        m_bufferFrames = bufferFrames;
        m_block = std::move(block);
        m_pending.clear();
    }

    // Capture thread: what is captured and not yet delivered goes out now, then the tap is gone.
    void removeTap()
    {
        readAvailable();
        if (m_block && !m_pending.empty()) {
            deliver(m_pending);
        }
        m_pending.clear();
        m_block = nullptr;
    }

Q_SIGNALS:
    void failed();

private:
    void readAvailable()
    {
        if (!m_io) {
            return;
        }
        m_bytes += m_io->readAll();
        const qsizetype sampleSize = m_sampleFormat == QAudioFormat::Float ? 4 : 2;
        const qsizetype samples = m_bytes.size() / sampleSize;
        if (samples == 0) {
            return;
        }
        const qsizetype start = qsizetype(m_pending.size());
        m_pending.resize(size_t(start + samples));
        if (m_sampleFormat == QAudioFormat::Float) {
            std::memcpy(m_pending.data() + start, m_bytes.constData(), size_t(samples) * 4);
        } else {
            const auto *input = reinterpret_cast<const qint16 *>(m_bytes.constData());
            for (qsizetype i = 0; i < samples; ++i) {
                m_pending[size_t(start + i)] = float(input[i]) / 32768.0f;
            }
        }
        m_bytes.remove(0, samples * sampleSize);

        if (!m_block) {
            m_pending.clear();
            return;
        }
        const size_t block = size_t(m_bufferFrames) * size_t(m_channels);
        size_t offset = 0;
        while (m_pending.size() - offset >= block) {
            deliver(std::vector<float>(m_pending.begin() + qsizetype(offset),
                                       m_pending.begin() + qsizetype(offset + block)));
            offset += block;
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + qsizetype(offset));
    }

    void deliver(std::vector<float> samples)
    {
        // Whole frames only.
        samples.resize(samples.size() - samples.size() % size_t(m_channels));
        if (samples.empty()) {
            return;
        }
        AudioBuffer buffer;
        buffer.sampleRate = m_sampleRate;
        buffer.channels = m_channels;
        buffer.samples = std::move(samples);
        m_block(buffer);
    }

    std::unique_ptr<QAudioSource> m_source;
    QIODevice *m_io = nullptr;
    QAudioFormat::SampleFormat m_sampleFormat = QAudioFormat::Float;
    int m_channels = 1;
    double m_sampleRate = 0;
    QByteArray m_bytes;
    std::vector<float> m_pending;
    qsizetype m_bufferFrames = 4096;
    AudioEngine::TapBlock m_block;
};

QtAudioEngine::QtAudioEngine(Clock &clock, QObject *parent)
    : AudioEngine(parent)
    , m_worker(new QtAudioCaptureWorker)
    , m_watchTimer(clock.makeTimer())
{
    m_thread.setObjectName(QStringLiteral("audio capture"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &QtAudioCaptureWorker::failed, this, &QtAudioEngine::inputChanged,
            Qt::QueuedConnection);
    connect(m_watchTimer.get(), &Timer::timeout, this, &QtAudioEngine::watch);
    m_thread.start(QThread::TimeCriticalPriority);
}

QtAudioEngine::~QtAudioEngine()
{
    removeTap();
    stop();
    m_thread.quit();
    m_thread.wait();
}

std::unique_ptr<AudioEngine> AudioEngine::create()
{
    return std::make_unique<QtAudioEngine>();
}

QAudioDevice QtAudioEngine::currentDevice() const
{
    return m_pinned.isNull() ? QMediaDevices::defaultAudioInput() : m_pinned;
}

std::optional<QString> QtAudioEngine::setCurrentDevice(const QString &deviceID)
{
    const QAudioDevice device = inputWithID(deviceID.toUtf8());
    if (device.isNull()) {
        return QStringLiteral("not an input device");
    }
    m_pinned = device;
    return std::nullopt;
}

AudioEngine::Format QtAudioEngine::inputFormat() const
{
    if (!m_pinned.isNull()) {
        // A pinned device that went away leaves no input.
        return formatOf(inputWithID(m_pinned.id()));
    }
    return formatOf(QMediaDevices::defaultAudioInput());
}

void QtAudioEngine::installTap(qsizetype bufferSize, const Format &format, TapBlock block)
{
    m_tapFormat = format;
    QMetaObject::invokeMethod(
        m_worker, [&] { m_worker->setTap(bufferSize, std::move(block)); },
        Qt::BlockingQueuedConnection);
}

void QtAudioEngine::removeTap()
{
    QMetaObject::invokeMethod(
        m_worker, [this] { m_worker->removeTap(); }, Qt::BlockingQueuedConnection);
}

void QtAudioEngine::prepare() { }

void QtAudioEngine::start()
{
    if (isRunning()) {
        return;
    }
    const QAudioDevice device = currentDevice();
    if (device.isNull()) {
        throw Error("no audio input device");
    }
    QString failure;
    QMetaObject::invokeMethod(
        m_worker, [&] { failure = m_worker->start(device, m_tapFormat); },
        Qt::BlockingQueuedConnection);
    if (!failure.isEmpty()) {
        throw Error(failure.toStdString());
    }
    m_startedDeviceID = device.id();
    m_startedFormat = m_tapFormat;
    m_watchTimer->start(watchInterval, true, std::chrono::milliseconds(200));
}

void QtAudioEngine::stop()
{
    m_watchTimer->stop();
    QMetaObject::invokeMethod(
        m_worker, [this] { m_worker->stop(); }, Qt::BlockingQueuedConnection);
}

bool QtAudioEngine::isRunning() const
{
    return m_worker->running;
}

void QtAudioEngine::watch()
{
    if (!isRunning()) {
        return;
    }
    const QAudioDevice device =
        m_pinned.isNull() ? QMediaDevices::defaultAudioInput() : inputWithID(m_pinned.id());
    if (device.isNull() || device.id() != m_startedDeviceID
        || formatOf(device) != m_startedFormat) {
        inputChanged();
    }
}

void QtAudioEngine::inputChanged()
{
    stop();
    Q_EMIT configurationChanged();
}

#include "QtAudioEngine.moc"
