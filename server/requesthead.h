#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The bounds on a request head, checked before httplib reads it. httplib
// 0.11.4 answers an overlong header line with 400 and takes any number of
// header lines, so the head is measured here first.
struct HeadLimits {
    std::size_t maxRequestLine = 4096; // bytes, without the line end
    std::size_t maxHeaderBytes = 8192; // all header lines together, with line ends
    std::size_t maxHeaderLines = 64;
};

enum class HeadState { Incomplete, Complete, RequestLineTooLong, HeadersTooLarge };

struct HeadScan {
    HeadState state = HeadState::Incomplete;
    std::size_t length = 0;    // bytes of the complete head, its blank line included
    bool declaresBody = false; // a Content-Length other than 0, or a Transfer-Encoding
    bool wantsClose = false;   // "Connection: close", or HTTP/1.0 without "Connection: keep-alive"
};

// Looks at the bytes received so far for one request head ending in a
// blank line and measures it against `limits`. Lines may end in CR LF or in
// a bare LF, as some clients send; a bare LF is measured as a CR LF.
HeadScan scanRequestHead(std::string_view bytes, const HeadLimits &limits);

// The complete head `head` as httplib should read it, or nullopt when it
// needs no change: every line ends in CR LF, which httplib requires; blanks
// inside the target, which the game sends unescaped in names, become %20;
// Range lines are dropped because httplib would answer them with status
// 200 and a cut body; and Content-Length and Transfer-Encoding lines are
// dropped because no route takes a body: httplib would wait for one, and
// holding a worker while a client trickles it in is what the server must
// not allow. A connection whose request declared a body ends after the
// answer, so the body is never taken for the next request.
std::optional<std::string> mendRequestHead(std::string_view head);

// A complete head in CR LF lines (as mendRequestHead leaves it) read for
// the requests the server answers without httplib: the request line's
// three parts, and every X-Forwarded-For value joined by commas in the
// order sent. The views point into the head.
struct PlainHead {
    std::string_view method;
    std::string_view target;
    std::string_view version;
    std::string forwardedFor;
};
// nullopt unless the request line is exactly three parts split by single
// blanks and every header line is a name, a colon and a value: anything
// odder is left to httplib, so it is refused or read as it always was.
std::optional<PlainHead> readPlainHead(std::string_view head);

// The method and target of a (possibly cut) request line, for the log.
struct RequestLineParts {
    std::string method;
    std::string target;
};
RequestLineParts requestLineParts(std::string_view bytes, std::size_t maxTarget);
