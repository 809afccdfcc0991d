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

// The access log: whole lines to one file descriptor, from any number of
// threads. Each line goes out in one write under the lock, so lines are
// never torn or interleaved, and reopen() swaps the descriptor under that
// same lock, so a line is written either to the old file or the new one.
class AccessLog {
public:
    // Writes to `out`, which stays the caller's; reopen() leaves it as it is.
    explicit AccessLog(std::FILE *out);
    // Appends to the file at `path`, created with mode 0640 (less the umask)
    // when missing. Throws std::system_error when it cannot be opened.
    explicit AccessLog(std::string path);
    AccessLog(const AccessLog &) = delete;
    AccessLog &operator=(const AccessLog &) = delete;
    ~AccessLog();

    // Writes the line for `record`, stamped with the current time.
    void write(const AccessRecord &record);
    // Writes a line for the operator, "pegsquare-server: " and `text`.
    void problem(std::string_view text);
    // Opens the file at the path again, so that after a log rotation renamed
    // it away, lines go to a new file by the old name. When it cannot be
    // opened, lines keep going to the file they went to, with a line there
    // that says why, and false is returned. Without a path: true, nothing done.
    bool reopen();

private:
    void writeLine(std::string_view line);

    std::mutex m_mutex;
    std::string m_path; // empty: the descriptor is not ours
    int m_fd = -1;
};
