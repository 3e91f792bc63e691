#include "GnssReceiver.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdarg>
#include <deque>
#include <optional>
#include <thread>
#include "GnssTrack.h"
#include "InstrumentCommand.h"
#include "SerialLine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(2);
constexpr double kQuietToEnd = 1.0;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
    if (path.empty() || bytes.empty()) return true;
    std::FILE* file = _wfopen(path.c_str(), L"ab");
    if (!file) return false;
    bool whole = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && whole;
}

void Say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::fprintf(stderr, "[instrument] ");
    std::vfprintf(stderr, format, arguments);
    std::fprintf(stderr, "\n");
    va_end(arguments);
}

// Everything the instrument writes goes through here: paced to the line's
// speed, since a pty or a fast driver would otherwise take it all at once,
// and logged so a test can compare it with what the host received.
class CPacedSender {
public:
    CPacedSender(CSerialLine& line, const GnssReceiverOptions& options)
        : m_line(line), m_log(options.sentLog), m_bytesPerSecond(options.baud / 10.0) {}

    // A ticket that Sent() tells about.
    size_t Queue(const std::string& sentences) {
        m_queue.push_back(sentences);
        return ++m_queuedTexts;
    }
    bool Sent(size_t ticket) const { return m_queuedTexts - m_queue.size() >= ticket; }
    bool Idle() const { return m_queue.empty(); }
    size_t BytesSent() const { return m_bytesSent; }

    // Sends the next queued text when the line is free again.
    bool Pump() {
        if (m_queue.empty() || Clock::now() < m_lineFreeAt) return true;
        const std::string& text = m_queue.front();
        if (!m_line.Write(text) || !AppendToFile(m_log, text)) return false;
        auto busy = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(text.size() / m_bytesPerSecond));
        m_lineFreeAt = std::max(m_lineFreeAt, Clock::now()) + busy;
        m_bytesSent += text.size();
        m_queue.pop_front();
        return true;
    }

private:
    CSerialLine& m_line;
    std::wstring m_log;
    double m_bytesPerSecond;
    Clock::time_point m_lineFreeAt = Clock::now();
    std::deque<std::string> m_queue;
    size_t m_bytesSent = 0;
    size_t m_queuedTexts = 0;
};

// Splits what the host sent into lines and answers each.
void TakeHostLines(std::string& pending, CPacedSender& sender, int& rate, bool& heardHost) {
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        heardHost = true;
        std::string answer = AnswerHostLine(line, rate);
        if (answer.empty()) continue;
        Say("host said %s; answering %s", line.c_str(), answer.substr(0, answer.size() - 2).c_str());
        sender.Queue(answer);
    }
}

}  // namespace

int RunGnssReceiver(const GnssReceiverOptions& options) {
    CSerialLine line;
    DWORD error = 0;
    if (!line.Open(options.port, options.baud, error)) {
        Say("cannot open %ls (error %lu)", options.port.c_str(), error);
        return 2;
    }
    for (const std::wstring& log : {options.sentLog, options.receivedLog}) {
        if (!log.empty()) DeleteFileW(log.c_str());
    }
    Say("%ls open at %lu baud 8N1; %s", options.port.c_str(), options.baud,
        options.streamAtOnce ? "streaming from the start" : "waiting for the host's first line");

    CPacedSender sender(line, options);
    std::string pending;
    int rate = 1;
    bool heardHost = false;
    auto opened = Clock::now(), streamStart = opened, lastHeard = opened;
    double nextEpoch = 0.0;
    size_t epochs = 0;
    size_t lastFix = 0;
    std::optional<CGnssTrack> track;
    for (;;) {
        std::string arrived;
        if (!line.ReadAvailable(arrived) || !AppendToFile(options.receivedLog, arrived)) {
            Say("reading the port failed");
            return 2;
        }
        if (!arrived.empty()) lastHeard = Clock::now();
        pending += arrived;
        bool wasWaiting = !heardHost;
        TakeHostLines(pending, sender, rate, heardHost);
        heardHost = heardHost || options.streamAtOnce;
        if (wasWaiting && heardHost) {
            streamStart = Clock::now();
            SYSTEMTIME utc;
            GetSystemTime(&utc);
            track.emplace(utc);
            Say("sending fixes at %d per second for %.1f s", rate, options.streamSeconds);
        }
        if (!heardHost && SecondsSince(opened) > options.startTimeoutSeconds) {
            Say("no line from the host within %.0f s", options.startTimeoutSeconds);
            return 3;
        }
        double streaming = SecondsSince(streamStart);
        // A fix is due each 1/rate s; one that finds the last still queued
        // is skipped, as a receiver does when its port cannot keep up.
        if (heardHost && streaming < options.streamSeconds && streaming >= nextEpoch) {
            if (sender.Sent(lastFix)) {
                lastFix = sender.Queue(track->Epoch(streaming));
                ++epochs;
            }
            nextEpoch += 1.0 / rate;
        }
        if (!sender.Pump()) {
            Say("writing the port failed");
            return 2;
        }
        if (heardHost && streaming >= options.streamSeconds && sender.Idle() &&
            SecondsSince(lastHeard) > kQuietToEnd && SecondsSince(streamStart) > options.streamSeconds + kQuietToEnd) {
            Say("done: %zu bytes in %zu fixes; the line is quiet", sender.BytesSent(), epochs);
            return 0;
        }
        std::this_thread::sleep_for(kPoll);
    }
}
