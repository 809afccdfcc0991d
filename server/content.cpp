#include "content.h"

#include "vendorpaths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

struct Opened {
    Published state = Published::No;
    UniqueFd fd;
    std::uint64_t size = 0;
    std::string error;
};

// Opens a regular file. O_NONBLOCK keeps a FIFO planted under the name from
// hanging a worker; anything that is not a regular file counts as unpublished.
Opened openRegular(const std::filesystem::path &path)
{
    Opened opened;
    opened.fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!opened.fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            return opened;
        opened.state = Published::Failed;
        opened.error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return opened;
    }
    struct stat info {};
    if (::fstat(opened.fd.get(), &info) != 0) {
        opened.state = Published::Failed;
        opened.error = "cannot inspect " + path.string() + ": " + std::strerror(errno);
        return opened;
    }
    if (!S_ISREG(info.st_mode)) {
        opened.fd.reset();
        return opened;
    }
    opened.state = Published::Yes;
    opened.size = static_cast<std::uint64_t>(info.st_size);
    return opened;
}

// Reads a small published text file whole. `what` names it in the operator's
// log; a file larger than `limit` bytes is refused, not cut, since half a
// version text or half a signature would mislead every player who fetched it.
TextLookup readBounded(const std::filesystem::path &path, std::size_t limit, const std::string &what)
{
    Opened opened = openRegular(path);
    TextLookup lookup;
    lookup.state = opened.state;
    lookup.error = std::move(opened.error);
    if (opened.state != Published::Yes)
        return lookup;
    const std::string tooLarge = what + " is larger than " + std::to_string(limit) + " bytes";
    if (opened.size > limit) {
        lookup.state = Published::Failed;
        lookup.error = tooLarge;
        return lookup;
    }
    // Read until the end of the file rather than trusting fstat, and stop one
    // byte past the limit, so a file that grew since is caught, not cut.
    std::string text;
    text.reserve(static_cast<std::size_t>(opened.size));
    char chunk[4096];
    while (text.size() <= limit) {
        const ssize_t got = ::read(opened.fd.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            lookup.state = Published::Failed;
            lookup.error = "cannot read " + what + ": " + std::strerror(errno);
            return lookup;
        }
        if (got == 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    if (text.size() > limit) {
        lookup.state = Published::Failed;
        lookup.error = tooLarge;
        return lookup;
    }
    lookup.text = std::move(text);
    return lookup;
}

} // namespace

long PublishedFile::readAt(std::uint64_t offset, char *buffer, std::size_t length) const
{
    for (;;) {
        const ssize_t got = ::pread(m_fd.get(), buffer, length, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR)
            return static_cast<long>(got);
    }
}

TextLookup PublishedContent::versionText() const
{
    return readBounded(m_folder / vendor::contentFile(vendor::kVersionPath), kMaxVersionBytes,
                       "the published version text");
}

TextLookup PublishedContent::signature() const
{
    return readBounded(m_folder / vendor::contentFile(vendor::kSignaturePath), kMaxSignatureBytes,
                       "the published installer signature");
}

InstallerLookup PublishedContent::installer() const
{
    Opened opened = openRegular(m_folder / vendor::contentFile(vendor::kInstallerPath));
    InstallerLookup lookup;
    lookup.state = opened.state;
    lookup.error = std::move(opened.error);
    if (opened.state == Published::Yes)
        lookup.file = std::make_shared<const PublishedFile>(std::move(opened.fd), opened.size);
    return lookup;
}
