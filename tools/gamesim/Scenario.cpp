#include "Scenario.h"

#include "Names.h"
#include "core/Text.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <random>

namespace pelorix::gamesim
{

namespace
{

struct BehaviourName {
    Behaviour behaviour;
    const char *name;
};

constexpr BehaviourName kBehaviours[] = {
    {Behaviour::Normal, "normal"},       {Behaviour::Silent, "silent"},
    {Behaviour::Closed, "closed"},       {Behaviour::NoEof, "no-eof"},
    {Behaviour::NoFinal, "no-final"},    {Behaviour::Garbage, "garbage"},
    {Behaviour::Oversized, "oversized"}, {Behaviour::Trickle, "trickle"},
    {Behaviour::Flood, "flood"},         {Behaviour::SecondSender, "second-sender"},
};

// Reads one server object; every failure names the server and the key.
class ServerReader
{
  public:
    ServerReader(const QJsonObject &object, int index)
        : m_object(object)
        , m_index(index)
    {
    }

    bool read(ServerConfig &config, std::string &error)
    {
        static const QSet<QString> known = {
            QStringLiteral("port"),         QStringLiteral("hostname"),       QStringLiteral("gametype"),
            QStringLiteral("gamevariant"),  QStringLiteral("gamever"),        QStringLiteral("mapname"),
            QStringLiteral("password"),     QStringLiteral("maxplayers"),     QStringLiteral("players"),
            QStringLiteral("statsenabled"), QStringLiteral("vektawon"),       QStringLiteral("suspectswon"),
            QStringLiteral("round"),        QStringLiteral("numrounds"),      QStringLiteral("queryid"),
            QStringLiteral("behaviour"),    QStringLiteral("delayMs"),        QStringLiteral("jitterMs"),
            QStringLiteral("split"),        QStringLiteral("gapMs"),          QStringLiteral("trickleMaxMs"),
            QStringLiteral("floodMs"),      QStringLiteral("floodBurst"),     QStringLiteral("churn"),
            QStringLiteral("events"),       QStringLiteral("trickleComplete")};
        for (auto it = m_object.begin(); it != m_object.end(); ++it) {
            if (!known.contains(it.key()) && !it.key().startsWith(QLatin1Char('_')))
                return fail(error, it.key(), "is not a server key");
        }
        bool ok = readInt("port", config.port, 0, 65535) && readText("hostname", config.hostname) &&
                  readText("gametype", config.gametype) && readText("gamevariant", config.gamevariant) &&
                  readText("gamever", config.gamever) && readText("mapname", config.mapname) &&
                  readText("password", config.password) && readInt("maxplayers", config.maxplayers, 0, 100000) &&
                  readText("statsenabled", config.statsenabled) && readText("vektawon", config.vektawon) &&
                  readText("suspectswon", config.suspectswon) && readText("round", config.round) &&
                  readText("numrounds", config.numrounds) && readText("queryid", config.queryid) &&
                  readInt("delayMs", config.delayMs, 0, 3600000) && readInt("jitterMs", config.jitterMs, 0, 3600000) &&
                  readInt("split", config.split, 1, 1000) && readInt("trickleMaxMs", config.trickleMaxMs, 0, 3600000) &&
                  readInt("floodMs", config.floodMs, 0, 600000) && readInt("floodBurst", config.floodBurst, 1, 1000) &&
                  readBool("trickleComplete", config.trickleComplete);
        if (!ok)
            return fail(error, m_badKey, m_problem);
        if (m_object.contains(QStringLiteral("gapMs"))) {
            int gap = 0;
            if (!readInt("gapMs", gap, 0, 3600000))
                return fail(error, m_badKey, m_problem);
            config.gapMs = gap;
        }
        if (m_object.contains(QStringLiteral("behaviour"))) {
            const auto value = m_object.value(QStringLiteral("behaviour"));
            const auto behaviour = behaviourFromName(value.toString().toStdString());
            if (!value.isString() || !behaviour)
                return fail(error, QStringLiteral("behaviour"), "is not a known behaviour");
            config.behaviour = *behaviour;
        }
        if (!readList("players", config.players, readPlayer,
                      "holds an entry that is not a name or {name, score, ping}"))
            return fail(error, m_badKey, m_problem);
        if (m_object.contains(QStringLiteral("churn"))) {
            if (!m_object.value(QStringLiteral("churn")).isObject())
                return fail(error, QStringLiteral("churn"), "is not an object");
            const auto churn = m_object.value(QStringLiteral("churn")).toObject();
            for (auto it = churn.begin(); it != churn.end(); ++it) {
                const bool leave = it.key() == QStringLiteral("leaveEveryMs");
                if ((!leave && it.key() != QStringLiteral("joinEveryMs")) || !it.value().isDouble() ||
                    it.value().toDouble() < 0)
                    return fail(error, QStringLiteral("churn"), "takes leaveEveryMs and joinEveryMs (milliseconds)");
                (leave ? config.leaveEveryMs : config.joinEveryMs) = it.value().toInt();
            }
        }
        if (!readList("events", config.events, readEvent,
                      "holds an entry that is not {atMs, join: player} or {atMs, leave: name}"))
            return fail(error, m_badKey, m_problem);
        return true;
    }

  private:
    bool fail(std::string &error, const QString &key, const std::string &problem)
    {
        error = "server " + std::to_string(m_index) + ": \"" + key.toStdString() + "\" " + problem;
        return false;
    }

    bool readText(const char *key, std::string &out)
    {
        const auto value = m_object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        if (value.isString()) {
            out = utf8ToCp1252(value.toString().toStdString());
        } else if (value.isDouble() && value.toDouble() == std::floor(value.toDouble())) {
            out = std::to_string(static_cast<long long>(value.toDouble()));
        } else if (value.isBool()) {
            out = value.toBool() ? "1" : "0";
        } else {
            m_badKey = QLatin1String(key);
            m_problem = "is not a text or a whole number";
            return false;
        }
        return true;
    }

    bool readBool(const char *key, bool &out)
    {
        const auto value = m_object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        if (!value.isBool()) {
            m_badKey = QLatin1String(key);
            m_problem = "is not true or false";
            return false;
        }
        out = value.toBool();
        return true;
    }

    bool readInt(const char *key, int &out, int low, int high)
    {
        const auto value = m_object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        const double number = value.toDouble(-1.0);
        if (!value.isDouble() || number != std::floor(number) || number < low || number > high) {
            m_badKey = QLatin1String(key);
            m_problem = "is not a whole number from " + std::to_string(low) + " to " + std::to_string(high);
            return false;
        }
        out = static_cast<int>(number);
        return true;
    }

    // An array whose entries readEntry reads; when given, it replaces the default list.
    template <typename T>
    bool readList(const char *key, std::vector<T> &out, bool (*readEntry)(const QJsonValue &, T &),
                  const char *entryProblem)
    {
        const auto value = m_object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        m_badKey = QLatin1String(key);
        if (!value.isArray()) {
            m_problem = "is not an array";
            return false;
        }
        out.clear();
        for (const auto &entry : value.toArray()) {
            T item;
            if (!readEntry(entry, item)) {
                m_problem = entryProblem;
                return false;
            }
            out.push_back(std::move(item));
        }
        return true;
    }

    static bool readPlayer(const QJsonValue &value, Player &player)
    {
        if (value.isString()) {
            player.name = utf8ToCp1252(value.toString().toStdString());
            return true;
        }
        if (!value.isObject())
            return false;
        const auto object = value.toObject();
        if (!object.value(QStringLiteral("name")).isString())
            return false;
        player.name = utf8ToCp1252(object.value(QStringLiteral("name")).toString().toStdString());
        player.score = object.value(QStringLiteral("score")).toInt(0);
        player.ping = object.value(QStringLiteral("ping")).toInt(0);
        return true;
    }

    static bool readEvent(const QJsonValue &value, PlayerEvent &event)
    {
        const auto object = value.toObject();
        const auto at = object.value(QStringLiteral("atMs"));
        if (!at.isDouble() || at.toDouble() < 0)
            return false;
        event.atMs = at.toInt();
        if (object.contains(QStringLiteral("join")) == object.contains(QStringLiteral("leave")))
            return false;
        if (object.contains(QStringLiteral("join"))) {
            event.join = true;
            return readPlayer(object.value(QStringLiteral("join")), event.player);
        }
        event.join = false;
        const auto leave = object.value(QStringLiteral("leave"));
        if (!leave.isString())
            return false;
        event.player.name = utf8ToCp1252(leave.toString().toStdString());
        return true;
    }

    const QJsonObject &m_object;
    int m_index;
    QString m_badKey;
    std::string m_problem;
};

bool checkPorts(const Scenario &scenario, std::string &error)
{
    std::vector<int> ports;
    for (const auto &server : scenario.servers) {
        if (server.port != 0)
            ports.push_back(server.port);
    }
    std::sort(ports.begin(), ports.end());
    const auto dup = std::adjacent_find(ports.begin(), ports.end());
    if (dup != ports.end()) {
        error = "port " + std::to_string(*dup) + " is given to more than one server";
        return false;
    }
    return true;
}

} // namespace

std::optional<Behaviour> behaviourFromName(const std::string &name)
{
    for (const auto &entry : kBehaviours) {
        if (name == entry.name)
            return entry.behaviour;
    }
    return std::nullopt;
}

const char *behaviourName(Behaviour behaviour)
{
    for (const auto &entry : kBehaviours) {
        if (entry.behaviour == behaviour)
            return entry.name;
    }
    return "normal";
}

int ServerConfig::effectiveGapMs() const
{
    if (gapMs)
        return *gapMs;
    switch (behaviour) {
    case Behaviour::Trickle:
        return 200;
    case Behaviour::Flood:
        return 1;
    case Behaviour::SecondSender:
        return 20;
    default:
        return 100;
    }
}

bool parseScenario(const std::string &jsonUtf8, Scenario &scenario, std::string &error)
{
    QJsonParseError parseError{};
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(jsonUtf8), &parseError);
    if (document.isNull()) {
        error =
            "not JSON: " + parseError.errorString().toStdString() + " at offset " + std::to_string(parseError.offset);
        return false;
    }
    const auto root = document.object();
    if (!document.isObject() || !root.value(QStringLiteral("servers")).isArray()) {
        error = "the top level must be an object with a \"servers\" array";
        return false;
    }
    int basePort = 0;
    const auto baseValue = root.value(QStringLiteral("basePort"));
    if (!baseValue.isUndefined()) {
        basePort = baseValue.toInt(-1);
        if (!baseValue.isDouble() || basePort < 0 || basePort > 65535) {
            error = "\"basePort\" must be a port number";
            return false;
        }
    }
    if (root.contains(QStringLiteral("seed")))
        scenario.seed = static_cast<uint64_t>(root.value(QStringLiteral("seed")).toDouble(1.0));
    const auto defaults = root.value(QStringLiteral("defaults")).toObject();

    scenario.servers.clear();
    const auto servers = root.value(QStringLiteral("servers")).toArray();
    for (int i = 0; i < servers.size(); ++i) {
        if (!servers.at(i).isObject()) {
            error = "server " + std::to_string(i) + " is not an object";
            return false;
        }
        QJsonObject merged = defaults;
        const auto own = servers.at(i).toObject();
        for (auto it = own.begin(); it != own.end(); ++it)
            merged.insert(it.key(), it.value());
        ServerConfig config;
        if (!ServerReader(merged, i).read(config, error))
            return false;
        if (!own.contains(QStringLiteral("port")) && basePort != 0) {
            config.port = basePort + i;
            if (config.port > 65535) {
                error = "server " + std::to_string(i) + ": basePort + index is beyond 65535";
                return false;
            }
        }
        scenario.servers.push_back(std::move(config));
    }
    return checkPorts(scenario, error);
}

bool loadScenarioFile(const std::string &path, Scenario &scenario, std::string &error)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    if (!parseScenario(file.readAll().toStdString(), scenario, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

Scenario generateScenario(int count, uint64_t seed, int delayMs, Behaviour behaviour, int basePort)
{
    Scenario scenario;
    scenario.seed = seed;
    std::mt19937_64 rng(seed);
    auto pick = [&rng](const auto &list) {
        return list[std::uniform_int_distribution<size_t>(0, std::size(list) - 1)(rng)];
    };
    auto between = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    static constexpr int kSlots[] = {8, 10, 12, 16, 16, 20, 24, 32};
    for (int i = 0; i < count; ++i) {
        ServerConfig config;
        config.port = basePort == 0 ? 0 : basePort + i;
        config.hostname =
            std::string(pick(kServerNameWords)) + " " + pick(kServerNameWords) + " #" + std::to_string(i + 1);
        // Built as std::string first: assigning the literals directly trips a false -Wrestrict in GCC 12 at -O2.
        config.gametype = std::string(pick(kGameTypes));
        config.gamevariant = std::string(between(0, 3) == 0 ? "VEKTA 4X" : "VEKTA 4");
        config.gamever = std::string(between(0, 2) == 0 ? "1.0" : "1.1");
        config.mapname = std::string(pick(kMapNames));
        config.password = std::string(between(0, 9) == 0 ? "1" : "0");
        config.maxplayers = pick(kSlots);
        const int playerCount = between(0, config.maxplayers);
        for (int p = 0; p < playerCount; ++p)
            config.players.push_back(Player{randomNick(rng), between(-5, 60), between(15, 220)});
        config.delayMs = delayMs;
        config.behaviour = behaviour;
        scenario.servers.push_back(std::move(config));
    }
    return scenario;
}

bool shiftPorts(Scenario &scenario, int basePort, std::string &error)
{
    if (basePort == 0) {
        for (auto &server : scenario.servers)
            server.port = 0;
        return true;
    }
    int lowest = 0;
    for (const auto &server : scenario.servers) {
        if (server.port != 0 && (lowest == 0 || server.port < lowest))
            lowest = server.port;
    }
    // Servers without a port of their own follow the highest given one.
    int next = basePort;
    for (auto &server : scenario.servers) {
        if (server.port != 0)
            server.port = server.port - lowest + basePort;
        next = std::max(next, server.port + 1);
    }
    for (auto &server : scenario.servers) {
        if (server.port == 0)
            server.port = next++;
    }
    for (const auto &server : scenario.servers) {
        if (server.port < 1 || server.port > 65535) {
            error = "--base-port " + std::to_string(basePort) + " moves a port beyond 65535";
            return false;
        }
    }
    return checkPorts(scenario, error);
}

} // namespace pelorix::gamesim
