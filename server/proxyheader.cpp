#include "proxyheader.h"

#include "clientaddress.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace {

constexpr std::string_view kStart = "PROXY ";
constexpr std::size_t kLongestLine = 107;

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> parts;
    for (std::size_t at = 0; at <= line.size();) {
        const std::size_t blank = std::min(line.find(' ', at), line.size());
        parts.push_back(line.substr(at, blank - at));
        at = blank + 1;
    }
    return parts;
}

bool port(std::string_view text, int &into)
{
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0'))
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), into);
    return error == std::errc() && end == text.data() + text.size() && into <= 65535;
}

} // namespace

ProxyHeader readProxyHeader(std::string_view bytes)
{
    ProxyHeader header;
    if (!kStart.starts_with(bytes.substr(0, kStart.size())))
        return header;
    const std::size_t end = bytes.substr(0, kLongestLine).find("\r\n");
    if (end == std::string_view::npos) {
        header.state = bytes.size() >= kLongestLine ? ProxyHeader::State::Malformed : ProxyHeader::State::Incomplete;
        return header;
    }
    if (bytes.size() < kStart.size()) {
        header.state = ProxyHeader::State::Incomplete;
        return header;
    }
    header.state = ProxyHeader::State::Malformed;
    const std::vector<std::string_view> parts = words(bytes.substr(kStart.size(), end - kStart.size()));
    if (parts[0] == "UNKNOWN") {
        // The proxy does not know the client (a health check of its own, say).
        header.state = ProxyHeader::State::Read;
        header.length = end + 2;
        return header;
    }
    if (parts.size() != 5 || (parts[0] != "TCP4" && parts[0] != "TCP6"))
        return header;
    const auto source = canonicalAddress(parts[1]);
    const auto destination = canonicalAddress(parts[2]);
    int destinationPort = 0;
    if (!source || !destination || !port(parts[3], header.sourcePort) || !port(parts[4], destinationPort)
        || (source->find(':') != std::string::npos) != (parts[0] == "TCP6"))
        return header;
    header.state = ProxyHeader::State::Read;
    header.length = end + 2;
    header.source = *source;
    return header;
}
