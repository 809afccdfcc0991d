#include "minisign.h"

#include <sodium.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace online {

namespace {

constexpr std::size_t kAlgorithmBytes = 2;
constexpr std::size_t kKeyIdBytes = 8;
constexpr std::size_t kSignatureBytes = crypto_sign_BYTES;
constexpr std::size_t kPublicKeyBytes = crypto_sign_PUBLICKEYBYTES;
constexpr std::size_t kKeyLineBytes = kAlgorithmBytes + kKeyIdBytes + kPublicKeyBytes;
constexpr std::size_t kSignatureLineBytes = kAlgorithmBytes + kKeyIdBytes + kSignatureBytes;
constexpr std::size_t kDigestBytes = crypto_generichash_BYTES_MAX; // BLAKE2b-512
constexpr std::size_t kReadChunk = 64 * 1024;

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::string_view kLegacyAlgorithm = "Ed";
constexpr std::string_view kPrehashedAlgorithm = "ED";

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// Strict base64 (padding required, nothing ignored) of exactly `size` bytes.
bool decodeBase64(std::string_view text, unsigned char *out, std::size_t size)
{
    std::size_t length = 0;
    const char *end = nullptr;
    if (sodium_base642bin(out, size, text.data(), text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL)
        != 0)
        return false;
    return length == size && end == text.data() + text.size();
}

struct SignatureFile {
    std::string_view algorithm;
    unsigned char line[kSignatureLineBytes];
    std::string_view trustedComment;
    unsigned char globalSignature[kSignatureBytes];
};

// The four lines, each ended by "\n" or "\r\n" (the last may be unended);
// nothing but empty lines may follow them.
bool splitLines(std::string_view text, std::string_view (&lines)[4])
{
    for (std::string_view &line : lines) {
        if (text.empty())
            return false;
        const std::size_t end = text.find('\n');
        line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
    }
    return text.find_first_not_of("\r\n") == std::string_view::npos;
}

bool parseSignature(std::string_view text, SignatureFile &out)
{
    std::string_view lines[4];
    if (!splitLines(text, lines) || !lines[0].starts_with(kUntrustedPrefix) || !lines[2].starts_with(kTrustedPrefix))
        return false;
    if (!decodeBase64(lines[1], out.line, sizeof out.line)
        || !decodeBase64(lines[3], out.globalSignature, sizeof out.globalSignature))
        return false;
    out.algorithm = std::string_view(reinterpret_cast<const char *>(out.line), kAlgorithmBytes);
    if (out.algorithm != kLegacyAlgorithm && out.algorithm != kPrehashedAlgorithm)
        return false;
    out.trustedComment = lines[2].substr(kTrustedPrefix.size());
    return true;
}

bool readAt(int fd, unsigned char *buffer, std::size_t length, off_t offset, std::size_t &got)
{
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, length, offset);
        if (n >= 0) {
            got = std::size_t(n);
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

// BLAKE2b-512 of the whole file, read in chunks.
bool digestFile(int fd, unsigned char (&digest)[kDigestBytes])
{
    crypto_generichash_state state;
    if (crypto_generichash_init(&state, nullptr, 0, kDigestBytes) != 0)
        return false;
    std::vector<unsigned char> chunk(kReadChunk);
    for (off_t offset = 0;;) {
        std::size_t got = 0;
        if (!readAt(fd, chunk.data(), chunk.size(), offset, got))
            return false;
        if (got == 0)
            break;
        crypto_generichash_update(&state, chunk.data(), got);
        offset += off_t(got);
    }
    return crypto_generichash_final(&state, digest, kDigestBytes) == 0;
}

// The legacy form signs the file itself, which Ed25519 needs whole: it is
// mapped rather than read, so a large installer costs no heap.
std::optional<bool> verifyWholeFile(int fd, const unsigned char *signature, const MinisignKey &key)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
        return std::nullopt;
    const auto size = std::size_t(info.st_size);
    void *mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED)
        return std::nullopt;
    const bool valid = crypto_sign_verify_detached(signature, static_cast<const unsigned char *>(mapped), size,
                                                   key.publicKey.data())
        == 0;
    ::munmap(mapped, size);
    return valid;
}

} // namespace

std::optional<MinisignKey> parseMinisignKey(std::string_view base64Line)
{
    unsigned char bytes[kKeyLineBytes];
    if (!sodiumReady() || !decodeBase64(base64Line, bytes, sizeof bytes)
        || std::string_view(reinterpret_cast<const char *>(bytes), kAlgorithmBytes) != kLegacyAlgorithm)
        return std::nullopt;
    MinisignKey key;
    std::memcpy(key.keyId.data(), bytes + kAlgorithmBytes, kKeyIdBytes);
    std::memcpy(key.publicKey.data(), bytes + kAlgorithmBytes + kKeyIdBytes, kPublicKeyBytes);
    return key;
}

SignatureCheck checkMinisign(const MinisignKey &key, int fd, std::string_view signatureText,
                             std::string_view trustedComment)
{
    SignatureFile signature;
    if (!sodiumReady() || !parseSignature(signatureText, signature))
        return SignatureCheck::Malformed;
    if (std::memcmp(signature.line + kAlgorithmBytes, key.keyId.data(), kKeyIdBytes) != 0)
        return SignatureCheck::OtherKey;
    const unsigned char *fileSignature = signature.line + kAlgorithmBytes + kKeyIdBytes;

    bool fileSigned = false;
    if (signature.algorithm == kPrehashedAlgorithm) {
        unsigned char digest[kDigestBytes];
        if (!digestFile(fd, digest))
            return SignatureCheck::FileUnreadable;
        fileSigned = crypto_sign_verify_detached(fileSignature, digest, sizeof digest, key.publicKey.data()) == 0;
    } else {
        const std::optional<bool> valid = verifyWholeFile(fd, fileSignature, key);
        if (!valid)
            return SignatureCheck::FileUnreadable;
        fileSigned = *valid;
    }
    if (!fileSigned)
        return SignatureCheck::FileNotSigned;

    // The trusted comment is signed together with the file's signature, so
    // neither can be moved to another file or another comment.
    std::string signedComment(reinterpret_cast<const char *>(fileSignature), kSignatureBytes);
    signedComment.append(signature.trustedComment);
    if (crypto_sign_verify_detached(signature.globalSignature,
                                    reinterpret_cast<const unsigned char *>(signedComment.data()),
                                    signedComment.size(), key.publicKey.data())
        != 0)
        return SignatureCheck::CommentNotSigned;
    if (signature.trustedComment != trustedComment)
        return SignatureCheck::OtherComment;
    return SignatureCheck::Valid;
}

} // namespace online
