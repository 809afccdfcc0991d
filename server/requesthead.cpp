#include "requesthead.h"

#include <algorithm>
#include <cctype>
#include <optional>

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

// Appends the request line `line` (without its line end), with blanks
// inside the target written as %20; true when it had any.
bool appendRequestLine(std::string &out, std::string_view line)
{
    const std::size_t methodEnd = line.find(' ');
    const std::size_t versionAt = line.rfind(kHttpVersionStart);
    const bool blanksInTarget = methodEnd != std::string_view::npos && versionAt != std::string_view::npos
        && versionAt > methodEnd + 1
        && line.substr(methodEnd + 1, versionAt - methodEnd - 1).find(' ') != std::string_view::npos;
    if (!blanksInTarget) {
        out.append(line);
        return false;
    }
    out.append(line.substr(0, methodEnd + 1));
    for (char c : line.substr(methodEnd + 1, versionAt - methodEnd - 1)) {
        if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    out.append(line.substr(versionAt));
    return true;
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
    // A bare LF is counted as the CR LF it becomes when the head is mended,
    // so the bounds hold for the head httplib reads, whichever end was sent.
    std::size_t bareEnds = 0;
    for (;;) {
        const std::size_t end = bytes.find('\n', at);
        const bool bare = end != std::string_view::npos && bytes[end - 1] != '\r'; // end >= at >= 1
        const std::size_t seen =
            (end == std::string_view::npos ? bytes.size() : end + 1) - headersStart + bareEnds + (bare ? 1 : 0);
        if (seen > limits.maxHeaderBytes + kCrLf.size()) {
            scan.state = HeadState::HeadersTooLarge;
            return scan;
        }
        if (end == std::string_view::npos)
            return scan;
        const std::string_view line = bytes.substr(at, end + 1 - at);
        at = end + 1;
        bareEnds += bare ? 1 : 0;
        if (line == kCrLf || line == "\n") {
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
    std::string mended;
    mended.reserve(head.size() + 32);
    bool changed = false;
    bool requestLine = true;
    for (std::size_t at = 0; at < head.size();) {
        const std::size_t end = head.find('\n', at);
        std::string_view line = head.substr(at, end == std::string_view::npos ? end : end - at);
        at = end == std::string_view::npos ? head.size() : end + 1;
        const bool ended = end != std::string_view::npos;
        if (ended && line.ends_with('\r'))
            line.remove_suffix(1);
        else if (ended)
            changed = true; // a bare LF, which httplib would not take for a line end
        if (requestLine) {
            requestLine = false;
            changed = appendRequestLine(mended, line) || changed;
        } else if (sameNameIgnoringCase(headerName(line), "Range")
                   || sameNameIgnoringCase(headerName(line), "Content-Length")
                   || sameNameIgnoringCase(headerName(line), "Transfer-Encoding")) {
            changed = true;
            continue;
        } else {
            mended.append(line);
        }
        if (ended)
            mended.append(kCrLf);
    }
    if (!changed)
        return std::nullopt;
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

std::optional<PlainHead> readPlainHead(std::string_view head)
{
    std::size_t lineEnd = head.find(kCrLf);
    if (lineEnd == std::string_view::npos)
        return std::nullopt;
    const std::string_view line = head.substr(0, lineEnd);
    const std::size_t methodEnd = line.find(' ');
    const std::size_t targetEnd = methodEnd == std::string_view::npos ? methodEnd : line.find(' ', methodEnd + 1);
    if (methodEnd == 0 || targetEnd == std::string_view::npos || targetEnd == methodEnd + 1
        || line.find(' ', targetEnd + 1) != std::string_view::npos)
        return std::nullopt;
    PlainHead plain;
    plain.method = line.substr(0, methodEnd);
    plain.target = line.substr(methodEnd + 1, targetEnd - methodEnd - 1);
    plain.version = line.substr(targetEnd + 1);
    for (std::size_t at = lineEnd + kCrLf.size();; at = lineEnd + kCrLf.size()) {
        lineEnd = head.find(kCrLf, at);
        if (lineEnd == std::string_view::npos)
            return std::nullopt;
        const std::string_view header = head.substr(at, lineEnd - at);
        if (header.empty())
            return plain; // the blank line that ends the head
        const std::string_view name = headerName(header);
        if (name.empty() || name.find_first_of(" \t") != std::string_view::npos)
            return std::nullopt;
        if (sameNameIgnoringCase(name, "X-Forwarded-For"))
            plain.forwardedFor.append(plain.forwardedFor.empty() ? "" : ",").append(headerValue(header));
    }
}
