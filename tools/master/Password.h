#pragma once

#include <string>
#include <string_view>

namespace pelorix::master
{

// The administrator password is kept only as "pbkdf2-sha256$iterations$salt$key" (salt and key in hex):
// PBKDF2-HMAC-SHA256 (OpenSSL) over a random 16-byte salt, so a stolen database gives nothing cheap to try.
inline constexpr int kPasswordIterations = 120000;

std::string hashPassword(std::string_view password, int iterations = kPasswordIterations);
// False as well for a stored text that is not in the form above.
bool verifyPassword(std::string_view password, std::string_view stored);

// PBKDF2-HMAC-SHA256 (RFC 8018), keyLength bytes.
std::string pbkdf2Sha256(std::string_view password, std::string_view salt, int iterations, int keyLength);

// Compares in a time that depends on the lengths only, not on where the texts differ.
bool constantTimeEqual(std::string_view a, std::string_view b);

} // namespace pelorix::master
