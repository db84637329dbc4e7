#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace pelorix::gamesim
{

// The master-list text of the given query ports: "HOST:PORT" CR LF each, then the closing line "END" CR LF.
std::string masterListText(const std::vector<int> &ports, const std::string &host = "127.0.0.1");

// Whether url is an "http://host[:port][/...]" address registerServers can use.
bool isRegistrationUrl(const std::string &url);

// Asks the master service at url to list every port: GET /vekta4/vekta4add.php?server=HOST:PORT over
// plain HTTP/1.0, one connection per server, each bounded to a few seconds. Returns how many requests got no
// HTTP reply; error tells the first.
// A raised stop ends the work between two requests.
int registerServers(const std::string &url, const std::vector<int> &ports, std::string &error,
                    const std::atomic<bool> *stop = nullptr, const std::string &host = "127.0.0.1");

} // namespace pelorix::gamesim
