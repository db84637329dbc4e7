#include "discovery/RequestSignature.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <chrono>
#include <mutex>
#include <random>

namespace pelorix
{

namespace
{

// The program's one pseudo-random generator; it starts from the clock like a fresh reseed.
struct Generator {
    std::mutex mutex;
    std::mt19937 engine{clockSeed()};

    static std::mt19937::result_type clockSeed()
    {
        const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        return static_cast<std::mt19937::result_type>(ticks ^ (ticks >> 32));
    }
};

Generator &generator()
{
    static Generator instance;
    return instance;
}

constexpr int kHighestNumber = 99999998;

} // namespace

std::string Md5Hex(std::string_view bytes, bool upperCase)
{
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Md5);
    QByteArray hex = digest.toHex();
    if (upperCase)
        hex = hex.toUpper();
    return hex.toStdString();
}

std::string SignatureFor(int number)
{
    return Md5Hex(std::to_string(number) + kSignatureSuffix);
}

Signature RequestSignature(bool reseedFromClock)
{
    int number = 0;
    {
        Generator &g = generator();
        const std::lock_guard lock(g.mutex);
        if (reseedFromClock)
            g.engine.seed(Generator::clockSeed());
        number = std::uniform_int_distribution<int>(0, kHighestNumber)(g.engine);
    }
    return Signature{number, SignatureFor(number)};
}

} // namespace pelorix
