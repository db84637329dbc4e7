// pelorix-cli settings: lists, reads and writes the values of the settings store, with the program's own
// typed reads and writes (so a flag or an integer is stored exactly as the program would store it).
#include "Commands.h"

#include "core/SettingsStore.h"
#include "core/Text.h"

#include <cstdio>
#include <optional>

namespace pelorix::cli
{

namespace
{

constexpr int kUsageError = 64;

const char *const kUsage = "settings list\n"
                           "  settings get KEY [--type text|flag|integer] [--default VALUE]\n"
                           "  settings set KEY VALUE [--type text|flag|integer]";

enum class Type { Text, Flag, Integer };

int usageError(const std::string &message)
{
    std::fprintf(stderr, "pelorix-cli settings: %s\nusage: pelorix-cli %s\n", message.c_str(), kUsage);
    return kUsageError;
}

std::optional<Type> parseType(const std::string &name)
{
    if (name == "text")
        return Type::Text;
    if (name == "flag")
        return Type::Flag;
    if (name == "integer")
        return Type::Integer;
    return std::nullopt;
}

std::optional<bool> parseFlag(const std::string &text)
{
    if (text == "1" || text == "true")
        return true;
    if (text == "0" || text == "false")
        return false;
    return std::nullopt;
}

// The listing keeps one value a line: line breaks inside a text show as \r and \n.
std::string oneLine(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

int list(const SettingsStore &store)
{
    for (const auto &entry : store.entries()) {
        const std::string name = entry.name.empty() ? "@" : cp1252ToUtf8(oneLine(entry.name));
        if (entry.type == SettingsStore::ValueType::String)
            std::printf("%s\tstring\t%s\n", name.c_str(), cp1252ToUtf8(oneLine(entry.text)).c_str());
        else
            std::printf("%s\tdword\t%d\n", name.c_str(), static_cast<int>(entry.number));
    }
    return 0;
}

// Splits the arguments into positional ones and the --type / --default options.
struct Parsed {
    std::vector<std::string> positional;
    Type type = Type::Text;
    std::optional<std::string> defaultValue;
    std::string error;
};

Parsed parseArguments(const std::vector<std::string> &args, bool allowDefault)
{
    Parsed parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--type" || arg == "--default") {
            if (i + 1 >= args.size()) {
                parsed.error = arg + " needs a value";
                return parsed;
            }
            const std::string &value = args[++i];
            if (arg == "--type") {
                const auto type = parseType(value);
                if (!type) {
                    parsed.error = "unknown type '" + value + "'";
                    return parsed;
                }
                parsed.type = *type;
            } else if (allowDefault) {
                parsed.defaultValue = value;
            } else {
                parsed.error = "--default is for get only";
                return parsed;
            }
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            parsed.error = "unknown option '" + arg + "'";
            return parsed;
        } else {
            parsed.positional.push_back(arg);
        }
    }
    return parsed;
}

int get(const SettingsStore &store, const std::vector<std::string> &args)
{
    const Parsed parsed = parseArguments(args, true);
    if (!parsed.error.empty())
        return usageError(parsed.error);
    if (parsed.positional.size() != 1)
        return usageError("get takes one KEY");
    const std::string key = utf8ToCp1252(parsed.positional[0]);
    switch (parsed.type) {
    case Type::Text: {
        const std::string fallback = utf8ToCp1252(parsed.defaultValue.value_or(""));
        std::printf("%s\n", cp1252ToUtf8(store.ReadString(key, fallback)).c_str());
        return 0;
    }
    case Type::Flag: {
        const auto fallback = parseFlag(parsed.defaultValue.value_or("0"));
        if (!fallback)
            return usageError("a flag default is 1, 0, true or false");
        std::printf("%d\n", store.ReadBool(key, *fallback) ? 1 : 0);
        return 0;
    }
    case Type::Integer: {
        int fallback = 0;
        if (!parseInt32(parsed.defaultValue.value_or("0"), fallback))
            return usageError("an integer default is a whole number");
        std::printf("%d\n", store.ReadInteger(key, fallback));
        return 0;
    }
    }
    return 0;
}

int set(SettingsStore &store, const std::vector<std::string> &args)
{
    const Parsed parsed = parseArguments(args, false);
    if (!parsed.error.empty())
        return usageError(parsed.error);
    if (parsed.positional.size() != 2)
        return usageError("set takes KEY and VALUE");
    const std::string key = utf8ToCp1252(parsed.positional[0]);
    const std::string &value = parsed.positional[1];
    bool written = false;
    switch (parsed.type) {
    case Type::Text: {
        const std::string text = utf8ToCp1252(value);
        store.WriteString(key, text);
        written = store.ReadString(key, text + "?") == text;
        break;
    }
    case Type::Flag: {
        const auto flag = parseFlag(value);
        if (!flag)
            return usageError("a flag is 1, 0, true or false");
        store.WriteBool(key, *flag);
        written = store.ReadString(key, "") == (*flag ? "1" : "0");
        break;
    }
    case Type::Integer: {
        int number = 0;
        if (!parseInt32(value, number))
            return usageError("an integer is a whole number");
        store.WriteInteger(key, number);
        written = store.ReadInteger(key, number == 0 ? 1 : 0) == number;
        break;
    }
    }
    if (!written) {
        std::fprintf(stderr, "pelorix-cli settings: could not write %s\n", store.filePath().c_str());
        return 1;
    }
    return 0;
}

int run(const std::vector<std::string> &args)
{
    if (args.empty())
        return usageError("missing list, get or set");
    SettingsStore store(SettingsStore::defaultPath());
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "list") {
        if (!rest.empty())
            return usageError("list takes no arguments");
        return list(store);
    }
    if (args[0] == "get")
        return get(store, rest);
    if (args[0] == "set")
        return set(store, rest);
    return usageError("unknown action '" + args[0] + "'");
}

// The lines of `pelorix-cli --help` (and so of the manual page) that describe this command.
const bool registered =
    registerCommand("settings", run,
                    "settings list     every stored value, one a line: KEY, tab, string or dword, tab,\n"
                    "                  VALUE; the unnamed value shows as @, line breaks inside a text as\n"
                    "                  \\r and \\n\n"
                    "settings get KEY [--type text|flag|integer] [--default VALUE]\n"
                    "                  one value, read as the window reads it: a text (the default type),\n"
                    "                  a flag (prints 1 or 0) or an integer; VALUE (default: empty, 0)\n"
                    "                  when the key is missing or does not read as the type\n"
                    "settings set KEY VALUE [--type text|flag|integer]\n"
                    "                  one value, written as the window writes it; a flag is 1, 0, true\n"
                    "                  or false");

} // namespace

} // namespace pelorix::cli
