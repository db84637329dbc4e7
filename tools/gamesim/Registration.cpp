#include "Registration.h"

#include "discovery/HttpExchange.h"

namespace pelorix::gamesim
{

namespace
{

constexpr int kTimeoutMs = 5000;

const char *failureText(http::Outcome outcome)
{
    switch (outcome) {
    case http::Outcome::Unreachable:
        return "no connection";
    case http::Outcome::Broken:
        return "the connection broke";
    case http::Outcome::Fault:
    case http::Outcome::Complete:
        break;
    }
    return "no HTTP reply";
}

} // namespace

std::string masterListText(const std::vector<int> &ports, const std::string &host)
{
    std::string text;
    for (const int port : ports)
        text += host + ":" + std::to_string(port) + "\r\n";
    text += "END\r\n";
    return text;
}

bool isRegistrationUrl(const std::string &url)
{
    http::Url parsed;
    return http::parseUrl(url, parsed);
}

int registerServers(const std::string &url, const std::vector<int> &ports, std::string &error,
                    const std::atomic<bool> *stop, const std::string &host)
{
    http::Url service;
    if (!http::parseUrl(url, service)) {
        error = "not an http://host:port address: " + url;
        return static_cast<int>(ports.size());
    }
    http::ExchangeLimits limits;
    limits.waitForDataMs = kTimeoutMs;
    limits.transferMs = kTimeoutMs;
    // An IPv6 literal goes in brackets, so that its colons are not taken for the port's.
    const std::string hostHeader =
        (service.host.find(':') != std::string::npos ? '[' + service.host + ']' : service.host) + ':' +
        std::to_string(service.port);
    int failures = 0;
    for (const int serverPort : ports) {
        const std::string server = host + ":" + std::to_string(serverPort);
        if (stop && *stop)
            return failures;
        const std::string request = "GET /vekta4/vekta4add.php?server=" + server + " HTTP/1.0\r\nHost: " + hostHeader +
                                    "\r\nUser-Agent: PLX\r\nConnection: close\r\n\r\n";
        // Only the status line matters: an answer of any kind means the service heard the request.
        const http::Response response =
            http::exchange(service.host, service.port, request, limits, [](std::string_view) { return true; });
        if (!response.headComplete && failures++ == 0)
            error = server + ": " + failureText(response.outcome);
    }
    return failures;
}

} // namespace pelorix::gamesim
