#include "core/SettingsStore.h"

#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

// The file, as written:
//
//   REGEDIT4
//   <empty line>
//   [HKEY_CURRENT_USER\PELORIX\PELORIX]
//   "name"="text"            a string value; '\' and '"' inside the quotes are escaped with a '\'
//   "name"=dword:0000002a    a 32-bit number value, eight lower-case hexadecimal digits
//   @="text"                 the section's unnamed value (the empty key)
//
// Every line ends with CR LF; CR LF, CR and LF are all accepted when reading. A line break inside a
// text is written as the two characters \r (CR) or \n (LF), so every value stays on one line. Other
// bytes, 8-bit ones included, are written unchanged.
//
// Reading is lenient: every well-formed value line of the section is used. The file counts as damaged
// when anything else is in it: a missing "REGEDIT4" first line, another section, a value line that does
// not parse (unknown escape, unclosed quote, a value type this program never writes), or a last line
// without its line break (a truncated file). Empty lines and ';' comment lines are allowed. Before the
// next write rewrites a damaged file, its bytes are kept as PELORIX.reg.bad beside it (replacing an
// older one); the rewritten file holds the values that could be read.

namespace pelorix
{

namespace
{

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kSection = "[HKEY_CURRENT_USER\\PELORIX\\PELORIX]";
constexpr std::string_view kCrLf = "\r\n";

// File times are taken from a coarse clock: a file replaced within this window of its last reading may
// carry the same stamp as the one read, so until its time is older than this its contents are compared.
constexpr long long kRacyWindowNs = 100'000'000;

struct CaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const
    {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            unsigned char x = static_cast<unsigned char>(a[i]);
            unsigned char y = static_cast<unsigned char>(b[i]);
            if (x >= 'A' && x <= 'Z')
                x = static_cast<unsigned char>(x - 'A' + 'a');
            if (y >= 'A' && y <= 'Z')
                y = static_cast<unsigned char>(y - 'A' + 'a');
            if (x != y)
                return x < y;
        }
        return a.size() < b.size();
    }
};

struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtim{};
    timespec ctim{};

    static FileStamp of(const struct stat &st)
    {
        return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileStamp &o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtim.tv_sec == o.mtim.tv_sec &&
               mtim.tv_nsec == o.mtim.tv_nsec && ctim.tv_sec == o.ctim.tv_sec && ctim.tv_nsec == o.ctim.tv_nsec;
    }
};

long long nanoseconds(const timespec &t)
{
    return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec;
}

long long nowNs()
{
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME, &t);
    return nanoseconds(t);
}

// Reads a quoted text starting at pos (which holds the opening quote); pos ends after the closing quote.
bool parseQuoted(std::string_view line, size_t &pos, std::string &out)
{
    if (pos >= line.size() || line[pos] != '"')
        return false;
    ++pos;
    out.clear();
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == '"')
            return true;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= line.size())
            return false;
        switch (line[pos++]) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        default:
            return false;
        }
    }
    return false;
}

bool parseDword(std::string_view text, std::uint32_t &value)
{
    constexpr std::string_view prefix = "dword:";
    if (text.size() <= prefix.size() || text.size() > prefix.size() + 8 ||
        !equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix))
        return false;
    std::uint32_t v = 0;
    for (const char c : text.substr(prefix.size())) {
        std::uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return false;
        v = v << 4 | digit;
    }
    value = v;
    return true;
}

bool parseValueLine(std::string_view line, SettingsStore::Entry &entry)
{
    size_t pos = 0;
    if (line.front() == '@') {
        entry.name.clear();
        pos = 1;
    } else if (!parseQuoted(line, pos, entry.name) || entry.name.empty()) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=')
        return false;
    ++pos;
    if (pos < line.size() && line[pos] == '"') {
        entry.type = SettingsStore::ValueType::String;
        entry.number = 0;
        return parseQuoted(line, pos, entry.text) && trimBlanks(line.substr(pos)).empty();
    }
    entry.type = SettingsStore::ValueType::Dword;
    entry.text.clear();
    return parseDword(trimTrailingBlanks(line.substr(pos)), entry.number);
}

void appendQuoted(std::string &out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    out += '"';
}

struct Parsed {
    std::vector<SettingsStore::Entry> entries;
    bool damaged = false;
};

Parsed parseRegFile(std::string_view text)
{
    Parsed parsed;
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return parsed; // an empty file is an empty store
    std::map<std::string, size_t, CaseLess> seen;
    bool first = true;
    bool inSection = false;
    for (const std::string &rawLine : splitLines(text)) {
        const std::string_view line = trimTrailingBlanks(rawLine);
        if (line.empty())
            continue;
        if (first) {
            first = false;
            if (line == kHeader)
                continue;
            parsed.damaged = true;
        }
        if (line.front() == ';')
            continue;
        if (line.front() == '[') {
            inSection = equalsIgnoringAsciiCase(line, kSection);
            if (!inSection)
                parsed.damaged = true;
            continue;
        }
        SettingsStore::Entry entry;
        if (!inSection || !parseValueLine(line, entry)) {
            parsed.damaged = true;
            continue;
        }
        // A name given twice: the later value wins, as when such a file is imported.
        if (const auto it = seen.find(entry.name); it != seen.end()) {
            entry.name = parsed.entries[it->second].name;
            parsed.entries[it->second] = std::move(entry);
        } else {
            seen.emplace(entry.name, parsed.entries.size());
            parsed.entries.push_back(std::move(entry));
        }
    }
    if (text.back() != '\n' && text.back() != '\r')
        parsed.damaged = true; // cut off in the middle of its last line
    return parsed;
}

std::string formatRegFile(const std::vector<SettingsStore::Entry> &entries)
{
    std::string out;
    out.reserve(64 + entries.size() * 48);
    out.append(kHeader).append(kCrLf).append(kCrLf).append(kSection).append(kCrLf);
    for (const auto &entry : entries) {
        if (entry.name.empty())
            out += '@';
        else
            appendQuoted(out, entry.name);
        out += '=';
        if (entry.type == SettingsStore::ValueType::String) {
            appendQuoted(out, entry.text);
        } else {
            char hex[16];
            std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(entry.number));
            out += hex;
        }
        out.append(kCrLf);
    }
    return out;
}

// A writer killed between creating its temporary file and renaming it leaves the temporary behind. Called
// with the folder locked: no live writer has one then, so every such file is a leftover.
void removeStaleTemporaries(const std::string &path)
{
    const std::filesystem::path file(path);
    const std::string prefix = file.filename().string() + ".tmp";
    std::error_code ec;
    for (std::filesystem::directory_iterator it(file.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind(prefix, 0) == 0) {
            std::error_code ignored;
            std::filesystem::remove(it->path(), ignored);
        }
    }
}

} // namespace

struct SettingsStore::State {
    std::mutex mutex;
    bool present = false; // the cache holds a file that was read
    bool trusted = false; // the file's stamp alone tells whether it changed
    FileStamp stamp;
    std::string raw;
    bool damaged = false;
    std::vector<Entry> entries;
    std::map<std::string, size_t, CaseLess> index;

    void clear()
    {
        present = false;
        trusted = false;
        raw.clear();
        damaged = false;
        entries.clear();
        index.clear();
    }

    void take(std::string text)
    {
        if (present && text == raw)
            return;
        Parsed parsed = parseRegFile(text);
        raw = std::move(text);
        damaged = parsed.damaged;
        entries = std::move(parsed.entries);
        index.clear();
        for (size_t i = 0; i < entries.size(); ++i)
            index.emplace(entries[i].name, i);
    }

    // Brings the cache up to date with the file. A read costs one stat() while the file is unchanged.
    // unreadable is set when a regular file is there but cannot be read.
    void refresh(const std::string &path, bool force, bool *unreadable = nullptr)
    {
        if (unreadable)
            *unreadable = false;
        struct stat st {
        };
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            clear();
            return;
        }
        if (!force && present && trusted && FileStamp::of(st) == stamp)
            return;
        const long long readAt = nowNs();
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            if (unreadable && fd.get() < 0 && errno != ENOENT)
                *unreadable = true;
            clear();
            return;
        }
        std::string text;
        text.reserve(static_cast<size_t>(st.st_size));
        if (!readAll(fd.get(), text)) {
            if (unreadable)
                *unreadable = true;
            clear();
            return;
        }
        take(std::move(text));
        present = true;
        stamp = FileStamp::of(st);
        trusted = readAt - nanoseconds(st.st_mtim) >= kRacyWindowNs;
    }

    const Entry *find(std::string_view key) const
    {
        const auto it = index.find(key);
        return it == index.end() ? nullptr : &entries[it->second];
    }
};

SettingsStore::SettingsStore(std::string filePath)
    : m_path(std::move(filePath))
    , m_state(std::make_unique<State>())
{
}

SettingsStore::~SettingsStore() = default;

std::string SettingsStore::defaultPath()
{
    std::string base;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        std::string home;
        if (const char *h = std::getenv("HOME"); h && *h)
            home = h;
        else if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
        base = home + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/PELORIX/PELORIX.reg";
}

std::string SettingsStore::ReadString(std::string_view key, std::string_view defaultValue) const
{
    std::lock_guard lock(m_state->mutex);
    m_state->refresh(m_path, false);
    const Entry *entry = m_state->find(key);
    if (!entry)
        return std::string(defaultValue);
    if (entry->type == ValueType::String)
        return entry->text;
    // A number read as text: its decimal form, signed like ReadInteger's result.
    return std::to_string(static_cast<std::int32_t>(entry->number));
}

int SettingsStore::ReadInteger(std::string_view key, int defaultValue) const
{
    std::lock_guard lock(m_state->mutex);
    m_state->refresh(m_path, false);
    const Entry *entry = m_state->find(key);
    if (!entry)
        return defaultValue;
    if (entry->type == ValueType::Dword)
        return static_cast<std::int32_t>(entry->number);
    int value = 0;
    return parseInt32(entry->text, value) ? value : defaultValue;
}

bool SettingsStore::ReadBool(std::string_view key, bool defaultValue) const
{
    return ReadInteger(key, defaultValue ? 1 : 0) != 0;
}

void SettingsStore::WriteString(std::string_view key, std::string_view value)
{
    Entry entry{std::string(key), ValueType::String, std::string(value), 0};
    update(std::move(entry), false);
}

void SettingsStore::WriteBool(std::string_view key, bool value)
{
    WriteString(key, value ? "1" : "0");
}

void SettingsStore::WriteInteger(std::string_view key, int value)
{
    Entry entry{std::string(key), ValueType::Dword, std::to_string(value), static_cast<std::uint32_t>(value)};
    update(std::move(entry), true);
}

std::vector<SettingsStore::Entry> SettingsStore::entries() const
{
    std::lock_guard lock(m_state->mutex);
    m_state->refresh(m_path, false);
    return m_state->entries;
}

bool SettingsStore::update(Entry entry, bool keepStringType)
{
    State &state = *m_state;
    std::lock_guard lock(state.mutex);

    const std::string folder = folderOf(m_path);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    // Writers of every process take turns on the folder's lock, so no read-modify-write loses another's value.
    UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int locked = -1;
    if (folderFd.get() >= 0) {
        while ((locked = ::flock(folderFd.get(), LOCK_EX)) != 0 && errno == EINTR) {
        }
    }
    if (locked == 0)
        removeStaleTemporaries(m_path);

    bool unreadable = false;
    state.refresh(m_path, true, &unreadable);
    if (state.damaged || unreadable) {
        // Keep the damaged file: a hard link leaves its bytes under the new name without reading them.
        const std::string bad = m_path + ".bad";
        ::unlink(bad.c_str());
        if (::link(m_path.c_str(), bad.c_str()) != 0 && (unreadable || !writeFileAtomically(bad, state.raw)))
            return false; // rather no write than losing the file
    }

    std::vector<Entry> entries = state.entries;
    const auto it = state.index.find(entry.name);
    if (it != state.index.end()) {
        Entry &old = entries[it->second];
        if (keepStringType && old.type == ValueType::String)
            entry.type = ValueType::String; // an integer that exists as text stays text
        entry.name = old.name;
        old = std::move(entry);
    } else {
        entries.push_back(std::move(entry));
    }
    for (auto &e : entries) {
        if (e.type == ValueType::Dword)
            e.text.clear();
    }

    std::string text = formatRegFile(entries);
    if (!writeFileAtomically(m_path, text)) {
        state.clear();
        return false;
    }
    state.refresh(m_path, true);
    return true;
}

} // namespace pelorix
