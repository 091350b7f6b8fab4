// The one dial password the library keeps for the user, enciphered with RC4 under a key derived from a fixed
// pass phrase, in a small INI-style file in the user's config folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmo::service {

inline constexpr size_t kStoredPasswordLimit = 32;

// ${XDG_CONFIG_HOME:-$HOME/.config}/Talvorn/OrvikConnect.ini
std::string CredentialsPath();

// RC4 with the key derived from the pass phrase's MD5 hash (first 5 bytes, 11 zero bytes); the same operation
// enciphers and deciphers.
void CipherPassword(uint8_t* data, size_t n);
// The same cipher with the key derived from a given 16-byte base hash.
void CipherWithBaseHash(const uint8_t* hash16, uint8_t* data, size_t n);

// 1 stored, 0 failed (the earlier value, if any, stays).
int32_t StorePasswordFile(const char* password);
// 1 when a value of at most 32 bytes was read and deciphered into out32 (no terminator added), else 0.
int32_t LoadPasswordFile(char* out32);

}  // namespace velmo::service
