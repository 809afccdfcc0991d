#include "accesslog.h"

#include <ctime>

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

void AccessLog::write(const AccessRecord &record)
{
    std::string line = accessLogLine(std::chrono::system_clock::now(), record);
    line += '\n';
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fflush(m_out);
}

void AccessLog::problem(std::string_view text)
{
    std::string line = "pegsquare-server: ";
    line += text;
    line += '\n';
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fflush(m_out);
}
