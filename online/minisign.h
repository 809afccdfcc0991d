#pragma once

// Checking a file against a detached signature in minisign's format, the
// signing tool the vendor uses for installers.
//
// A public key is the base64 line of minisign's .pub file: "Ed", an 8-byte
// key id and a 32-byte Ed25519 key. A signature file is four lines:
//
//   untrusted comment: <anything>
//   base64( "Ed" or "ED" | key id (8) | Ed25519 signature (64) )
//   trusted comment: <text>
//   base64( Ed25519 signature (64) over the first signature and <text> )
//
// "ED" signs the BLAKE2b-512 digest of the file (minisign's default), "Ed"
// the file itself (its legacy form).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace online {

struct MinisignKey {
    std::array<std::uint8_t, 8> keyId{};
    std::array<std::uint8_t, 32> publicKey{};
};

enum class SignatureCheck {
    Valid,
    Malformed,           // not four lines of the form above, or bad base64
    OtherKey,            // made with a key whose id is not ours
    FileNotSigned,       // the signature does not hold for this file
    CommentNotSigned,    // the global signature over the trusted comment does not hold
    OtherComment,        // a genuine signature whose trusted comment is not the one expected
    FileUnreadable,
};

// The key in a public key's base64 line; none when it is not one.
std::optional<MinisignKey> parseMinisignKey(std::string_view base64Line);

// Checks the whole of the open file `fd` (read from its start with pread,
// so the caller's offset stays) against `signatureText`, signed by `key`,
// whose trusted comment must be exactly `trustedComment`. Never accepts
// anything when a single step fails; reads the file once.
SignatureCheck checkMinisign(const MinisignKey &key, int fd, std::string_view signatureText,
                             std::string_view trustedComment);

} // namespace online
