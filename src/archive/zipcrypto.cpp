#include "archive/zipcrypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace zelvano::zip {

namespace {

// The key schedule steps its keys with the CRC-32 of single bytes; zlib's table is the same one.
inline uint32_t CrcStep(const z_crc_t* table, uint32_t crc, uint8_t byte)
{
    return uint32_t(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
}

inline void UpdateKeys(const z_crc_t* table, uint32_t& k0, uint32_t& k1, uint32_t& k2, uint8_t plain)
{
    k0 = CrcStep(table, k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = CrcStep(table, k2, uint8_t(k1 >> 24));
}

inline uint8_t StreamByte(uint32_t k2)
{
    const uint32_t t = (k2 | 2) & 0xFFFF;
    return uint8_t((t * (t ^ 1)) >> 8);
}

constexpr size_t kAesBlock = 16;
constexpr int kAesRounds = 1000; // PBKDF2 iterations WinZip uses
// Counter blocks are encrypted this many at a time: one library call per 16 KiB of data.
constexpr size_t kBatchBlocks = 1024;

size_t AesKeySize(uint8_t strength)
{
    return strength >= 1 && strength <= 3 ? size_t(8) + size_t(strength) * 8 : 0;
}

const EVP_CIPHER* AesEcb(uint8_t strength)
{
    switch (strength) {
    case 1:
        return EVP_aes_128_ecb();
    case 2:
        return EVP_aes_192_ecb();
    case 3:
        return EVP_aes_256_ecb();
    default:
        return nullptr;
    }
}

} // namespace

TraditionalCipher::TraditionalCipher(QByteArrayView password)
{
    const z_crc_t* table = get_crc_table();
    uint32_t k0 = 0x12345678u, k1 = 0x23456789u, k2 = 0x34567890u;
    for (const char c : password)
        UpdateKeys(table, k0, k1, k2, uint8_t(c));
    m_keys[0] = k0;
    m_keys[1] = k1;
    m_keys[2] = k2;
}

TraditionalCipher::~TraditionalCipher()
{
    OPENSSL_cleanse(m_keys, sizeof m_keys);
}

uint8_t TraditionalCipher::DecryptHeader(unsigned char* header)
{
    Decrypt(header, kTraditionalHeaderSize);
    return header[kTraditionalHeaderSize - 1];
}

void TraditionalCipher::Decrypt(unsigned char* data, size_t length)
{
    // Keys in locals so the loop keeps them in registers.
    const z_crc_t* table = get_crc_table();
    uint32_t k0 = m_keys[0], k1 = m_keys[1], k2 = m_keys[2];
    for (size_t i = 0; i < length; ++i) {
        const uint8_t plain = uint8_t(data[i] ^ StreamByte(k2));
        data[i] = plain;
        UpdateKeys(table, k0, k1, k2, plain);
    }
    m_keys[0] = k0;
    m_keys[1] = k1;
    m_keys[2] = k2;
}

size_t AesSaltSize(uint8_t strength)
{
    return AesKeySize(strength) / 2;
}

struct AesCipher::State
{
    EVP_CIPHER_CTX* cipher = nullptr;
    EVP_MAC* mac = nullptr;
    EVP_MAC_CTX* macContext = nullptr;
    uint64_t counter = 0; // of the last block in the key stream
    unsigned char stream[kBatchBlocks * kAesBlock] = {};
    size_t used = 0; // key stream bytes already applied
    size_t filled = 0;

    ~State()
    {
        OPENSSL_cleanse(stream, sizeof stream);
        EVP_MAC_CTX_free(macContext);
        EVP_MAC_free(mac);
        EVP_CIPHER_CTX_free(cipher);
    }

    // The next batch of key stream: the counter blocks, little-endian from 1, encrypted.
    bool Refill()
    {
        for (size_t block = 0; block < kBatchBlocks; ++block) {
            ++counter;
            unsigned char* p = stream + block * kAesBlock;
            for (size_t i = 0; i < 8; ++i)
                p[i] = static_cast<unsigned char>(counter >> (8 * i));
            std::memset(p + 8, 0, kAesBlock - 8);
        }
        int length = 0;
        if (EVP_EncryptUpdate(cipher, stream, &length, stream, int(sizeof stream)) != 1 ||
            size_t(length) != sizeof stream)
            return false;
        used = 0;
        filled = sizeof stream;
        return true;
    }
};

AesCipher::AesCipher() = default;
AesCipher::~AesCipher() = default;

AesCipher::Start AesCipher::Begin(QByteArrayView password, uint8_t strength, const unsigned char* salt,
                                  const unsigned char* verifier)
{
    const size_t keySize = AesKeySize(strength);
    const EVP_CIPHER* ecb = AesEcb(strength);
    if (keySize == 0 || !ecb)
        return Start::Failed;
    // Encryption key, authentication key, verifier.
    unsigned char derived[size_t(2) * 32 + kAesVerifierSize];
    const size_t derivedSize = 2 * keySize + kAesVerifierSize;
    struct Wipe
    {
        unsigned char* p;
        size_t n;
        ~Wipe() { OPENSSL_cleanse(p, n); }
    } const wipe{derived, sizeof derived};
    if (PKCS5_PBKDF2_HMAC(password.data(), int(password.size()), salt, int(AesSaltSize(strength)), kAesRounds,
                          EVP_sha1(), int(derivedSize), derived) != 1)
        return Start::Failed;
    if (CRYPTO_memcmp(derived + 2 * keySize, verifier, kAesVerifierSize) != 0)
        return Start::WrongPassword;

    auto state = std::make_unique<State>();
    state->cipher = EVP_CIPHER_CTX_new();
    // Counter mode only ever encrypts the counter blocks.
    if (!state->cipher || EVP_EncryptInit_ex(state->cipher, ecb, nullptr, derived, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(state->cipher, 0) != 1)
        return Start::Failed;
    state->mac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
    state->macContext = state->mac ? EVP_MAC_CTX_new(state->mac) : nullptr;
    if (!state->macContext)
        return Start::Failed;
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (EVP_MAC_init(state->macContext, derived + keySize, keySize, params) != 1)
        return Start::Failed;
    m_state = std::move(state);
    return Start::Ok;
}

bool AesCipher::Decrypt(unsigned char* data, size_t length)
{
    State* s = m_state.get();
    if (!s || EVP_MAC_update(s->macContext, data, length) != 1)
        return false;
    while (length > 0) {
        if (s->used == s->filled && !s->Refill())
            return false;
        const size_t take = std::min(length, s->filled - s->used);
        const unsigned char* key = s->stream + s->used;
        for (size_t i = 0; i < take; ++i)
            data[i] ^= key[i];
        s->used += take;
        data += take;
        length -= take;
    }
    return true;
}

bool AesCipher::Authenticate(const unsigned char* code)
{
    State* s = m_state.get();
    unsigned char full[EVP_MAX_MD_SIZE];
    size_t length = 0;
    if (!s || EVP_MAC_final(s->macContext, full, &length, sizeof full) != 1 || length < kAesCodeSize)
        return false;
    return CRYPTO_memcmp(full, code, kAesCodeSize) == 0;
}

} // namespace zelvano::zip
