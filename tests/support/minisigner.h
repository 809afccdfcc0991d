#pragma once

// Signatures in minisign's format, made at test time with libsodium: a key
// pair per signer, so no key is ever kept in the source tree.

#include <sodium.h>

#include <array>
#include <stdexcept>
#include <string>

namespace testsign {

inline std::string base64(const unsigned char *bytes, std::size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.find('\0'));
    return text;
}

class Signer {
public:
    enum class Form { Prehashed, Legacy };

    Signer()
    {
        if (sodium_init() < 0 || crypto_sign_keypair(m_public.data(), m_secret.data()) != 0)
            throw std::runtime_error("libsodium cannot make a key pair");
        randombytes_buf(m_keyId.data(), m_keyId.size());
    }

    // The base64 line of the public key file.
    std::string publicKeyLine() const
    {
        unsigned char bytes[2 + 8 + crypto_sign_PUBLICKEYBYTES] = {'E', 'd'};
        std::copy(m_keyId.begin(), m_keyId.end(), bytes + 2);
        std::copy(m_public.begin(), m_public.end(), bytes + 10);
        return base64(bytes, sizeof bytes);
    }

    // The four lines of a signature file for `data`.
    std::string sign(const std::string &data, const std::string &trustedComment, Form form = Form::Prehashed) const
    {
        unsigned char line[2 + 8 + crypto_sign_BYTES] = {'E', static_cast<unsigned char>(form == Form::Prehashed ? 'D' : 'd')};
        std::copy(m_keyId.begin(), m_keyId.end(), line + 2);
        unsigned char *signature = line + 10;
        const auto *bytes = reinterpret_cast<const unsigned char *>(data.data());
        if (form == Form::Prehashed) {
            unsigned char digest[crypto_generichash_BYTES_MAX];
            crypto_generichash(digest, sizeof digest, bytes, data.size(), nullptr, 0);
            crypto_sign_detached(signature, nullptr, digest, sizeof digest, m_secret.data());
        } else {
            crypto_sign_detached(signature, nullptr, bytes, data.size(), m_secret.data());
        }
        std::string global(reinterpret_cast<const char *>(signature), crypto_sign_BYTES);
        global += trustedComment;
        unsigned char globalSignature[crypto_sign_BYTES];
        crypto_sign_detached(globalSignature, nullptr, reinterpret_cast<const unsigned char *>(global.data()),
                             global.size(), m_secret.data());
        return "untrusted comment: signature from a test key\n" + base64(line, sizeof line) + "\ntrusted comment: "
             + trustedComment + "\n" + base64(globalSignature, sizeof globalSignature) + "\n";
    }

private:
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> m_public{};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> m_secret{};
    std::array<unsigned char, 8> m_keyId{};
};

} // namespace testsign
