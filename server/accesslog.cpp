#include "accesslog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>
#include <utility>

namespace {

void appendField(std::string &line, std::string_view field)
{
    line += ' ';
    if (field.empty()) {
        line += '-';
        return;
    }
    constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || byte == '\\') {
            line += "\\x";
            line += kHex[byte >> 4];
            line += kHex[byte & 0xF];
        } else {
            line += c;
        }
    }
}

// The log holds players' addresses: the owner and its group may read it, others not.
constexpr mode_t kLogFileMode = 0640;

int openLogFile(const std::string &path)
{
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, kLogFileMode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

std::string accessLogLine(std::chrono::system_clock::time_point when, const AccessRecord &record)
{
    using namespace std::chrono;
    const auto millis = time_point_cast<milliseconds>(when);
    const std::time_t whole = system_clock::to_time_t(millis);
    long fraction = static_cast<long>((millis.time_since_epoch() % seconds(1)).count());
    if (fraction < 0)
        fraction += 1000;
    std::tm parts{};
    gmtime_r(&whole, &parts);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, fraction);
    std::string line = stamp;
    appendField(line, record.client);
    appendField(line, record.method);
    appendField(line, record.target);
    line += ' ';
    line += std::to_string(record.status);
    line += ' ';
    line += std::to_string(record.bodyBytes);
    return line;
}

AccessLog::AccessLog(std::FILE *out) : m_fd(::fileno(out)) {}

AccessLog::AccessLog(std::string path) : m_path(std::move(path)), m_fd(openLogFile(m_path))
{
    if (m_fd < 0)
        throw std::system_error(errno, std::generic_category(), "cannot open the log file " + m_path);
}

AccessLog::~AccessLog()
{
    if (!m_path.empty())
        ::close(m_fd);
}

void AccessLog::writeLine(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    // O_APPEND puts each write at the end of the file as it is then, even
    // when logrotate's copytruncate has just cut it short. A short write
    // (a full disk) keeps going from where it stopped; a failed one drops
    // the line rather than stall every request behind the log.
    while (!line.empty()) {
        const ssize_t written = ::write(m_fd, line.data(), line.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        line.remove_prefix(static_cast<std::size_t>(written));
    }
}

void AccessLog::write(const AccessRecord &record)
{
    std::string line = accessLogLine(std::chrono::system_clock::now(), record);
    line += '\n';
    writeLine(line);
}

void AccessLog::problem(std::string_view text)
{
    std::string line = "pegsquare-server: ";
    line += text;
    line += '\n';
    writeLine(line);
}

bool AccessLog::reopen()
{
    if (m_path.empty())
        return true;
    // Opened outside the lock: requests keep being logged to the old file meanwhile.
    const int fd = openLogFile(m_path);
    if (fd < 0) {
        const int error = errno;
        problem("cannot reopen the log file " + m_path + ", still writing to the one open before: "
                + std::generic_category().message(error));
        return false;
    }
    int old;
    {
        std::lock_guard lock(m_mutex);
        old = std::exchange(m_fd, fd);
    }
    // No writer holds the old descriptor any more: each takes it under the lock.
    ::close(old);
    return true;
}
