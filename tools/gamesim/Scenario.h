#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelorix::gamesim
{

// How a simulated server treats a status query.
enum class Behaviour {
    Normal,       // the full reply
    Silent,       // bound, never answers
    Closed,       // no socket takes the query: the client's system reports the port unreachable
    NoEof,        // the reply without its "eof" pair: ends with "\final\"
    NoFinal,      // the reply without its "final" pair: ends with "\eof\"
    Garbage,      // one datagram of random bytes, NUL included
    Oversized,    // the reply padded to one datagram of 65,507 bytes
    Trickle,      // a small datagram every gapMs while the client's port exists (capped by trickleMaxMs)
    Flood,        // burst datagrams of 65,000 bytes every gapMs for floodMs
    SecondSender, // the first half from the server's port, the second half from another port gapMs later
};

std::optional<Behaviour> behaviourFromName(const std::string &name);
const char *behaviourName(Behaviour behaviour);

// Texts are Windows-1252 bytes, as they go on the wire.
struct Player {
    std::string name;
    int score = 0;
    int ping = 0;
};

// A change of the player list at a time after start-up.
struct PlayerEvent {
    int atMs = 0;
    bool join = true;
    Player player; // for a leave only the name counts; an empty name means the last player
};

struct ServerConfig {
    int port = 0; // query port; the join port is one less; 0 until ports are assigned
    std::string hostname = "Simulated server";
    std::string gametype = "Kessrin";
    std::string gamevariant = "VEKTA 4";
    std::string gamever = "1.1";
    std::string mapname = "Harrowgate";
    std::string password = "0";
    int maxplayers = 16;
    std::vector<Player> players;
    std::string statsenabled = "0";
    std::string vektawon = "0";
    std::string suspectswon = "0";
    std::string round = "1";
    std::string numrounds = "2";
    std::string queryid = "AMv1";

    Behaviour behaviour = Behaviour::Normal;
    int delayMs = 0;
    int jitterMs = 0;         // the delay varies by up to this much either way (never below 0)
    int split = 1;            // datagrams the reply is cut into
    std::optional<int> gapMs; // between split parts, trickle datagrams, flood bursts, second sender
    int trickleMaxMs = 60000;
    bool trickleComplete = false; // the trickle opens with the whole reply, "final" and "eof" included
    int floodMs = 3000;
    int floodBurst = 4;

    int leaveEveryMs = 0; // churn: one player leaves this often (0: never)
    int joinEveryMs = 0;  // churn: one player joins this often while a slot is free (0: never)
    std::vector<PlayerEvent> events;

    int effectiveGapMs() const;
};

struct Scenario {
    std::vector<ServerConfig> servers;
    uint64_t seed = 1;
};

// Reads {"servers":[...]} (optional "basePort": servers without "port" get basePort + their index).
// Returns false with a message when the file cannot be read or holds something the simulator cannot run.
bool loadScenarioFile(const std::string &path, Scenario &scenario, std::string &error);
bool parseScenario(const std::string &jsonUtf8, Scenario &scenario, std::string &error);

// A synthetic world of count servers, the same for the same seed. Ports start at basePort (0: left unassigned).
Scenario generateScenario(int count, uint64_t seed, int delayMs, Behaviour behaviour, int basePort);

// Moves every port so that the lowest becomes basePort, keeping the gaps; basePort 0 clears every port so the
// system picks free ones. False when a shifted port would leave 1..65535.
bool shiftPorts(Scenario &scenario, int basePort, std::string &error);

} // namespace pelorix::gamesim
