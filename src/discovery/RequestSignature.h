#pragma once

#include <string>
#include <string_view>

namespace pelorix
{

// The one-letter suffix the web service expects after the number in a request signature.
inline constexpr char kSignatureSuffix = 'V';

struct Signature {
    int number = 0;        // 0 .. 99999998
    std::string signature; // MD5 of the number's decimal text and kSignatureSuffix, 32 lower-case hex digits
};

// The master-list request re-seeds the program's pseudo-random generator from the clock first;
// the add and delete requests draw without re-seeding.
Signature RequestSignature(bool reseedFromClock);
// The signature of a given number.
std::string SignatureFor(int number);

// MD5 (RFC 1321) of bytes, as 32 hexadecimal digits.
std::string Md5Hex(std::string_view bytes, bool upperCase = false);

} // namespace pelorix
