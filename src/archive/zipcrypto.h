#pragma once

// The two ciphers of password-protected ZIP entries, as the reader's copy loop drives them: the
// traditional PKWARE stream cipher and WinZip AES (AES in counter mode with an HMAC-SHA1 code over the
// encrypted data). Both decrypt in place, chunk by chunk, so no entry is ever held whole. Key material is
// wiped when a cipher is destroyed. Internal to the reader.

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zelvano::zip {

// The bytes that come before the data of a traditionally encrypted entry.
inline constexpr size_t kTraditionalHeaderSize = 12;
// WinZip AES: the password verifier after the salt, and the authentication code after the data.
inline constexpr size_t kAesVerifierSize = 2;
inline constexpr size_t kAesCodeSize = 10;

class TraditionalCipher
{
public:
    explicit TraditionalCipher(QByteArrayView password);
    TraditionalCipher(const TraditionalCipher&) = delete;
    TraditionalCipher& operator=(const TraditionalCipher&) = delete;
    ~TraditionalCipher();

    // Decrypts the 12-byte header that starts the data and returns its last byte, the check byte.
    uint8_t DecryptHeader(unsigned char* header);
    void Decrypt(unsigned char* data, size_t length);

private:
    uint32_t m_keys[3] = {};
};

// The salt length of a WinZip AES strength (1: 128, 2: 192, 3: 256 bits); 0 for any other value.
size_t AesSaltSize(uint8_t strength);

class AesCipher
{
public:
    enum class Start
    {
        Ok,
        WrongPassword, // the verifier differs
        Failed,        // the library could not set up the cipher or the code
    };

    AesCipher();
    AesCipher(const AesCipher&) = delete;
    AesCipher& operator=(const AesCipher&) = delete;
    ~AesCipher();

    // Derives the keys from the password and the salt (AesSaltSize(strength) bytes) and compares the
    // 2-byte verifier.
    Start Begin(QByteArrayView password, uint8_t strength, const unsigned char* salt, const unsigned char* verifier);
    // Authenticates the encrypted bytes, then decrypts them in place. False when the library fails.
    bool Decrypt(unsigned char* data, size_t length);
    // True when the 10-byte code read after the data matches everything Decrypt was given.
    bool Authenticate(const unsigned char* code);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace zelvano::zip
