#include "requesthead.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kHttpVersionStart = " HTTP/";

bool sameNameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string_view headerName(std::string_view line)
{
    const std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : line.substr(0, colon);
}

std::string_view headerValue(std::string_view line)
{
    const std::size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : trimmed(line.substr(colon + 1));
}

} // namespace

HeadScan scanRequestHead(std::string_view bytes, const HeadLimits &limits)
{
    HeadScan scan;
    const std::size_t lineEnd = bytes.find('\n');
    if (lineEnd == std::string_view::npos) {
        // Not ended yet: too long already once it cannot end within the limit.
        if (bytes.size() > limits.maxRequestLine + 1)
            scan.state = HeadState::RequestLineTooLong;
        return scan;
    }
    const std::size_t lineLength = lineEnd > 0 && bytes[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
    if (lineLength > limits.maxRequestLine) {
        scan.state = HeadState::RequestLineTooLong;
        return scan;
    }

    const bool http10 = bytes.substr(0, lineLength).ends_with(" HTTP/1.0");
    bool keepAlive = false;
    std::size_t at = lineEnd + 1;
    const std::size_t headersStart = at;
    std::size_t lines = 0;
    for (;;) {
        const std::size_t end = bytes.find('\n', at);
        const std::size_t seen = (end == std::string_view::npos ? bytes.size() : end + 1) - headersStart;
        if (seen > limits.maxHeaderBytes + kCrLf.size()) {
            scan.state = HeadState::HeadersTooLarge;
            return scan;
        }
        if (end == std::string_view::npos)
            return scan;
        const std::string_view line = bytes.substr(at, end + 1 - at);
        at = end + 1;
        if (line == kCrLf) {
            scan.state = HeadState::Complete;
            scan.length = at;
            scan.wantsClose = scan.wantsClose || (http10 && !keepAlive);
            return scan;
        }
        if (++lines > limits.maxHeaderLines || seen > limits.maxHeaderBytes) {
            scan.state = HeadState::HeadersTooLarge;
            return scan;
        }
        const std::string_view name = headerName(line);
        if (sameNameIgnoringCase(name, "Transfer-Encoding"))
            scan.declaresBody = true;
        if (sameNameIgnoringCase(name, "Content-Length") && headerValue(line) != "0")
            scan.declaresBody = true;
        if (sameNameIgnoringCase(name, "Connection")) {
            scan.wantsClose = scan.wantsClose || sameNameIgnoringCase(headerValue(line), "close");
            keepAlive = keepAlive || sameNameIgnoringCase(headerValue(line), "keep-alive");
        }
    }
}

std::optional<std::string> mendRequestHead(std::string_view head)
{
    const std::size_t lineEnd = head.find('\n');
    if (lineEnd == std::string_view::npos)
        return std::nullopt;
    const std::string_view requestLine = head.substr(0, lineEnd + 1);
    const std::size_t methodEnd = requestLine.find(' ');
    const std::size_t versionAt = requestLine.rfind(kHttpVersionStart);
    const bool blanksInTarget = methodEnd != std::string_view::npos && versionAt != std::string_view::npos
        && versionAt > methodEnd + 1
        && requestLine.substr(methodEnd + 1, versionAt - methodEnd - 1).find(' ') != std::string_view::npos;

    bool hasRange = false;
    for (std::size_t at = lineEnd + 1; at < head.size();) {
        const std::size_t end = std::min(head.find('\n', at), head.size() - 1);
        hasRange = hasRange || sameNameIgnoringCase(headerName(head.substr(at, end + 1 - at)), "Range");
        at = end + 1;
    }
    if (!blanksInTarget && !hasRange)
        return std::nullopt;

    std::string mended;
    mended.reserve(head.size() + 32);
    if (blanksInTarget) {
        mended.append(requestLine.substr(0, methodEnd + 1));
        for (char c : requestLine.substr(methodEnd + 1, versionAt - methodEnd - 1)) {
            if (c == ' ')
                mended += "%20";
            else
                mended += c;
        }
        mended.append(requestLine.substr(versionAt));
    } else {
        mended.append(requestLine);
    }
    for (std::size_t at = lineEnd + 1; at < head.size();) {
        const std::size_t end = std::min(head.find('\n', at), head.size() - 1);
        const std::string_view line = head.substr(at, end + 1 - at);
        if (!sameNameIgnoringCase(headerName(line), "Range"))
            mended.append(line);
        at = end + 1;
    }
    return mended;
}

RequestLineParts requestLineParts(std::string_view bytes, std::size_t maxTarget)
{
    RequestLineParts parts;
    const std::string_view line = bytes.substr(0, bytes.find_first_of("\r\n"));
    const std::size_t methodEnd = line.find(' ');
    parts.method = std::string(line.substr(0, std::min<std::size_t>(methodEnd, 16)));
    if (methodEnd == std::string_view::npos)
        return parts;
    std::string_view target = line.substr(methodEnd + 1);
    const std::size_t versionAt = target.rfind(kHttpVersionStart);
    if (versionAt != std::string_view::npos)
        target = target.substr(0, versionAt);
    if (target.size() > maxTarget)
        parts.target = std::string(target.substr(0, maxTarget)) + "...";
    else
        parts.target = std::string(target);
    return parts;
}
