#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

// The one section of per-user settings, kept in a REGEDIT4 text file.
// Every write is on disk, atomically, when the call returns; every read sees the file as it is now
// (a value written by another process is seen by the next read). Key names compare without regard
// to case; the empty key names the section's unnamed value. Texts are Windows-1252 bytes.
class SettingsStore
{
  public:
    enum class ValueType { String, Dword };
    struct Entry {
        std::string name; // as first written
        ValueType type;
        std::string text;     // for String
        std::uint32_t number; // for Dword
    };

    explicit SettingsStore(std::string filePath);
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // ${XDG_CONFIG_HOME:-$HOME/.config}/PELORIX/PELORIX.reg
    static std::string defaultPath();
    const std::string &filePath() const { return m_path; }

    std::string ReadString(std::string_view key, std::string_view defaultValue) const;
    bool ReadBool(std::string_view key, bool defaultValue) const;
    int ReadInteger(std::string_view key, int defaultValue) const;
    void WriteString(std::string_view key, std::string_view value);
    void WriteBool(std::string_view key, bool value);
    void WriteInteger(std::string_view key, int value);

    // Every value of the section, in file order (for `pelorix-cli settings list`).
    std::vector<Entry> entries() const;

  private:
    struct State;
    // Read-modify-write of one value; false when nothing could be written.
    bool update(Entry entry, bool keepStringType);

    std::string m_path;
    std::unique_ptr<State> m_state;
};

} // namespace pelorix
