#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

// What the access log says about one answered request.
struct AccessRecord {
    std::string_view client;
    std::string_view method;
    std::string_view target; // path with query, as requested
    int status = 0;
    std::uint64_t bodyBytes = 0;
};

// One log line, without its line end: UTC time with milliseconds, client,
// method, target, status and body bytes, separated by single spaces. Blanks,
// backslashes and every byte outside printable ASCII are written \xHH, so a
// request can neither split a line nor send a terminal control codes; an
// empty field is written "-".
std::string accessLogLine(std::chrono::system_clock::time_point when, const AccessRecord &record);

// The access log: whole lines to one stream, from any number of threads.
class AccessLog {
public:
    explicit AccessLog(std::FILE *out) : m_out(out) {}
    // Writes the line for `record`, stamped with the current time, and flushes it.
    void write(const AccessRecord &record);
    // Writes a line for the operator, "pegsquare-server: " and `text`.
    void problem(std::string_view text);

private:
    std::mutex m_mutex;
    std::FILE *m_out;
};
