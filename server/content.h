#pragma once

#include "uniquefd.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

// One published file held open for reading. Its size is taken from the open
// handle, so a file replaced while it is being sent is sent whole, as it was.
class PublishedFile {
public:
    PublishedFile(UniqueFd fd, std::uint64_t size) : m_fd(std::move(fd)), m_size(size) {}
    // The size the file had when it was opened.
    std::uint64_t size() const { return m_size; }
    // Reads up to `length` bytes at `offset`: the count read, 0 at the end, -1 on error.
    long readAt(std::uint64_t offset, char *buffer, std::size_t length) const;

private:
    UniqueFd m_fd;
    std::uint64_t m_size;
};

enum class Published { Yes, No, Failed };

// A small text file the vendor published (the version text, the installer's
// signature) byte for byte, or why there is none.
struct TextLookup {
    Published state = Published::No;
    std::string text;
    std::string error;
};

// The installer the vendor published, or why there is none.
struct InstallerLookup {
    Published state = Published::No;
    std::shared_ptr<const PublishedFile> file;
    std::string error;
};

// The vendor's published files under one folder: pegsquare/pegsquareversion.txt,
// pegsquare/pegsetup.exe and its signature pegsquare/pegsetup.exe.minisig.
// Each call looks afresh, so publishing a new file needs no restart; a
// missing folder just means nothing is published.
class PublishedContent {
public:
    static constexpr std::size_t kMaxVersionBytes = 64 * 1024;
    // A minisign signature is well under 1 KiB even with a long comment, and
    // the game reads no more than 4 KiB of it; anything larger is not one.
    static constexpr std::size_t kMaxSignatureBytes = 4 * 1024;

    explicit PublishedContent(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    // The published version text byte for byte; Failed when it cannot be
    // read or is larger than kMaxVersionBytes.
    TextLookup versionText() const;
    // The installer's published signature byte for byte; Failed when it
    // cannot be read or is larger than kMaxSignatureBytes.
    TextLookup signature() const;
    // The published installer, opened.
    InstallerLookup installer() const;

private:
    std::filesystem::path m_folder;
};
