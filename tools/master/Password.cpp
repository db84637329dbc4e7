#include "Password.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <stdexcept>
#include <vector>

namespace pelorix::master
{

namespace
{

std::string toHex(const std::string &raw)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0xF]);
    }
    return hex;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool fromHex(std::string_view hex, std::string &raw)
{
    if (hex.empty() || hex.size() % 2 != 0)
        return false;
    raw.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigit(hex[i]);
        const int low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        raw.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

} // namespace

std::string pbkdf2Sha256(std::string_view password, std::string_view salt, int iterations, int keyLength)
{
    std::string key(static_cast<std::size_t>(keyLength), '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char *>(salt.data()), static_cast<int>(salt.size()),
                          iterations, EVP_sha256(), keyLength, reinterpret_cast<unsigned char *>(key.data())) != 1)
        throw std::runtime_error("PBKDF2 failed");
    return key;
}

bool constantTimeEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string hashPassword(std::string_view password, int iterations)
{
    std::string salt(16, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(salt.data()), static_cast<int>(salt.size())) != 1)
        throw std::runtime_error("no random bytes for the salt");
    const std::string key = pbkdf2Sha256(password, salt, iterations, 32);
    return "pbkdf2-sha256$" + std::to_string(iterations) + '$' + toHex(salt) + '$' + toHex(key);
}

bool verifyPassword(std::string_view password, std::string_view stored)
{
    std::vector<std::string_view> fields;
    while (true) {
        const auto dollar = stored.find('$');
        fields.push_back(stored.substr(0, dollar));
        if (dollar == std::string_view::npos)
            break;
        stored = stored.substr(dollar + 1);
    }
    if (fields.size() != 4 || fields[0] != "pbkdf2-sha256")
        return false;
    int iterations = 0;
    const auto [end, error] = std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), iterations);
    if (error != std::errc() || end != fields[1].data() + fields[1].size() || iterations < 1 || iterations > 10000000)
        return false;
    std::string salt;
    std::string key;
    if (!fromHex(fields[2], salt) || !fromHex(fields[3], key) || key.size() > 64)
        return false;
    return constantTimeEqual(pbkdf2Sha256(password, salt, iterations, static_cast<int>(key.size())), key);
}

} // namespace pelorix::master
