// Feeds the virtual microphone: writes signed 16-bit little-endian, 16 kHz mono samples into the
// pipe that PulseAudio's pipe source reads, paced in real time in 20 ms chunks. The recording
// sits between silence, and silence keeps flowing until the requested duration is over, since
// the source stalls as soon as nobody writes.
//
// Usage:
//   sonorvelle_audio_feeder [--fifo PATH] (--input FILE.raw|FILE.wav | --tone HZ:MS | --silence)
//                           [--lead MS] [--duration MS]
//
//   --fifo      the pipe (default: $SONORVELLE_TEST_VIRTMIC_FIFO, else
//   $XDG_RUNTIME_DIR/virtmic.fifo)
//   --input     raw s16le 16 kHz mono samples, or a WAV file in that format
//   --tone      a sine of HZ hertz lasting MS milliseconds, in place of a recording
//   --silence   no recording at all, only silence
//   --lead      silence before the recording (default 500 ms)
//   --duration  total time written; 0 writes silence until terminated
//               (default: lead + recording + 500 ms)
//
// Prints "speech-start" when the first recorded sample is written and "speech-end" after the
// last one, so a test can tell where the recording lies in what it captures.
//
// Ended (by its duration or by SIGTERM), it empties the pipe of what nobody read: the sound
// server leaves the pipe alone while nothing records, and a recording stopped midway (a cancel)
// would otherwise hear the rest of this feed at the start of the next test's recording.

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

static_assert(std::endian::native == std::endian::little, "samples are written in host order");

namespace {

constexpr int sampleRate = 16000;
constexpr int chunkMs = 20;
constexpr int samplesPerChunk = sampleRate * chunkMs / 1000;

struct Options
{
    std::string fifo;
    std::string input;
    std::optional<std::pair<double, long>> tone; // hertz, milliseconds
    bool silence = false;
    long leadMs = 500;
    std::optional<long> durationMs;
};

[[noreturn]] void usage(const std::string &problem)
{
    std::fprintf(stderr,
                 "sonorvelle_audio_feeder: %s\n"
                 "usage: sonorvelle_audio_feeder [--fifo PATH] (--input FILE | --tone HZ:MS | "
                 "--silence) [--lead MS] [--duration MS]\n",
                 problem.c_str());
    std::exit(2);
}

long parseMs(std::string_view name, const std::string &text)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0) {
        usage(std::string(name) + " needs a non-negative number of milliseconds, got '" + text
              + "'");
    }
    return value;
}

Options parseArguments(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage(std::string(arg) + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--fifo") {
            options.fifo = value();
        } else if (arg == "--input") {
            options.input = value();
        } else if (arg == "--tone") {
            const std::string toneArgument = value();
            const auto colon = toneArgument.find(':');
            // Named: `end` points into it and is read after the call.
            const std::string hertzText = toneArgument.substr(0, colon);
            char *end = nullptr;
            const double hertz = std::strtod(hertzText.c_str(), &end);
            if (colon == std::string::npos || *end != '\0' || !(hertz > 0 && hertz < 8000)) {
                usage("--tone needs HZ:MS with 0 < HZ < 8000, got '" + toneArgument + "'");
            }
            options.tone = {hertz, parseMs("--tone", toneArgument.substr(colon + 1))};
        } else if (arg == "--silence") {
            options.silence = true;
        } else if (arg == "--lead") {
            options.leadMs = parseMs(arg, value());
        } else if (arg == "--duration") {
            options.durationMs = parseMs(arg, value());
        } else {
            usage("unknown argument '" + std::string(arg) + "'");
        }
    }
    const int sources =
        int(!options.input.empty()) + int(options.tone.has_value()) + int(options.silence);
    if (sources != 1) {
        usage("give exactly one of --input, --tone and --silence");
    }
    if (options.fifo.empty()) {
        if (const char *fifo = std::getenv("SONORVELLE_TEST_VIRTMIC_FIFO"); fifo && *fifo) {
            options.fifo = fifo;
        } else if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
            options.fifo = std::string(runtime) + "/virtmic.fifo";
        } else {
            usage("no --fifo given and neither SONORVELLE_TEST_VIRTMIC_FIFO nor XDG_RUNTIME_DIR "
                  "is set");
        }
    }
    return options;
}

std::uint32_t readLe32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
        | std::uint32_t(p[3]) << 24;
}

std::uint16_t readLe16(const unsigned char *p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

// Samples of a WAV file, which must already be in the pipe's format: no conversion here, so a
// test cannot silently feed something other than what it meant to.
std::vector<std::int16_t> wavSamples(const std::string &path,
                                     const std::vector<unsigned char> &data)
{
    if (data.size() < 12 || std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
        throw std::runtime_error(path + ": not a WAVE file");
    }
    bool formatSeen = false;
    std::size_t pos = 12;
    while (pos + 8 <= data.size()) {
        const unsigned char *chunk = data.data() + pos;
        const std::size_t size = readLe32(chunk + 4);
        const std::size_t body = pos + 8;
        if (size > data.size() - body) {
            throw std::runtime_error(path + ": truncated chunk");
        }
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) {
                throw std::runtime_error(path + ": short format chunk");
            }
            const unsigned char *fmt = data.data() + body;
            const unsigned format = readLe16(fmt);
            const unsigned channels = readLe16(fmt + 2);
            const std::uint32_t rate = readLe32(fmt + 4);
            const unsigned bits = readLe16(fmt + 14);
            if (format != 1 || channels != 1 || rate != sampleRate || bits != 16) {
                throw std::runtime_error(path + ": must be 16-bit PCM, mono, 16000 Hz (has format "
                                         + std::to_string(format) + ", " + std::to_string(channels)
                                         + " channel(s), " + std::to_string(rate) + " Hz, "
                                         + std::to_string(bits) + " bits)");
            }
            formatSeen = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!formatSeen) {
                throw std::runtime_error(path + ": data chunk before format chunk");
            }
            std::vector<std::int16_t> samples(size / 2);
            std::memcpy(samples.data(), data.data() + body, samples.size() * 2);
            return samples;
        }
        pos = body + size + (size & 1);
    }
    throw std::runtime_error(path + ": no data chunk");
}

std::vector<std::int16_t> recording(const Options &options)
{
    if (options.silence) {
        return {};
    }
    if (options.tone) {
        const auto [hertz, ms] = *options.tone;
        std::vector<std::int16_t> samples(std::size_t(ms) * sampleRate / 1000);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const double phase = 2 * std::numbers::pi * hertz * double(i) / sampleRate;
            samples[i] = std::int16_t(std::lround(10000 * std::sin(phase)));
        }
        return samples;
    }
    std::ifstream file(options.input, std::ios::binary);
    if (!file) {
        throw std::runtime_error(options.input + ": cannot open: " + std::strerror(errno));
    }
    const std::vector<unsigned char> data {std::istreambuf_iterator<char>(file),
                                           std::istreambuf_iterator<char>()};
    if (data.size() >= 4 && std::memcmp(data.data(), "RIFF", 4) == 0) {
        return wavSamples(options.input, data);
    }
    if (data.size() % 2 != 0) {
        throw std::runtime_error(options.input + ": odd byte count, not 16-bit samples");
    }
    std::vector<std::int16_t> samples(data.size() / 2);
    std::memcpy(samples.data(), data.data(), data.size());
    return samples;
}

// Opens the pipe for writing, refusing to wait forever when nothing reads it.
int openFifo(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const std::string reason = errno == ENXIO ? "nothing reads it (is the virtual microphone "
                                                    "loaded?)"
                                                  : std::strerror(errno);
        throw std::runtime_error(path + ": cannot open for writing: " + reason);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        throw std::runtime_error(path + ": fcntl: " + std::strerror(errno));
    }
    return fd;
}

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

// Reads away whatever is still in the pipe, without waiting for more.
void drainFifo(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    char buffer[16384];
    while (::read(fd, buffer, sizeof buffer) > 0) { }
    ::close(fd);
}

// Returns false when a stop was asked for before everything was written.
bool writeAll(int fd, const std::int16_t *samples, std::size_t count)
{
    const auto *bytes = reinterpret_cast<const char *>(samples);
    std::size_t left = count * sizeof(std::int16_t);
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, left);
        if (written < 0) {
            if (errno == EINTR) {
                if (stopRequested) {
                    return false;
                }
                continue;
            }
            throw std::runtime_error(std::string("write to the pipe failed: ")
                                     + std::strerror(errno));
        }
        bytes += written;
        left -= std::size_t(written);
    }
    return true;
}

void say(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parseArguments(argc, argv);
    ::signal(SIGPIPE, SIG_IGN);
    // Without SA_RESTART: a write blocked on a full pipe returns, so the feeder can end.
    struct sigaction stop
    {
    };
    stop.sa_handler = requestStop;
    ::sigemptyset(&stop.sa_mask);
    ::sigaction(SIGTERM, &stop, nullptr);
    try {
        const std::vector<std::int16_t> speech = recording(options);
        const std::size_t lead = std::size_t(options.leadMs) * sampleRate / 1000;
        const std::size_t speechEnd = lead + speech.size();
        const bool forever = options.durationMs && *options.durationMs == 0;
        const std::size_t total = options.durationMs && !forever
            ? std::size_t(*options.durationMs) * sampleRate / 1000
            : speechEnd + sampleRate / 2;
        if (!forever && total < speechEnd) {
            usage("--duration is shorter than the lead silence and the recording ("
                  + std::to_string(speechEnd * 1000 / sampleRate) + " ms)");
        }

        const int fd = openFifo(options.fifo);
        std::vector<std::int16_t> chunk(samplesPerChunk);
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t position = 0, index = 0; (forever || position < total) && !stopRequested;
             ++index) {
            const std::size_t count =
                forever ? chunk.size() : std::min(chunk.size(), total - position);
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t at = position + i;
                chunk[i] = at >= lead && at < speechEnd ? speech[at - lead] : 0;
            }
            std::this_thread::sleep_until(start + std::chrono::milliseconds(chunkMs) * index);
            if (!speech.empty() && position <= lead && lead < position + count) {
                say("speech-start");
            }
            if (!writeAll(fd, chunk.data(), count)) {
                break;
            }
            if (!speech.empty() && position < speechEnd && speechEnd <= position + count) {
                say("speech-end");
            }
            position += count;
        }
        ::close(fd);
        drainFifo(options.fifo);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "sonorvelle_audio_feeder: %s\n", error.what());
        return 1;
    }
    return 0;
}
