// The settings file as found on disk (written by hand, by another program, or cut off), read and then written.

#include "FuzzSupport.h"

#include "core/SettingsStore.h"
#include "core/Text.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

using namespace pelorix;

namespace
{

bool sameEntries(const std::vector<SettingsStore::Entry> &a, const std::vector<SettingsStore::Entry> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].type != b[i].type)
            return false;
        if (a[i].type == SettingsStore::ValueType::String ? a[i].text != b[i].text : a[i].number != b[i].number)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string path = fuzz::scratchFolder() + "PELORIX.reg";
    std::remove((path + ".bad").c_str());
    fuzz::require(writeFileAtomically(path, fuzz::asText(data, size)), "the settings file written for the run");

    std::vector<SettingsStore::Entry> entries;
    {
        const SettingsStore store(path);
        entries = store.entries();
        std::set<std::string> names;
        for (const auto &entry : entries) {
            fuzz::require(names.insert(asciiLower(entry.name)).second, "a name listed twice");
            const std::string text = store.ReadString(entry.name, "\x01");
            if (entry.type == SettingsStore::ValueType::String) {
                fuzz::require(text == entry.text, "ReadString differs from the listed text");
            } else {
                fuzz::require(store.ReadInteger(entry.name, 0) == static_cast<std::int32_t>(entry.number),
                              "ReadInteger differs from the listed number");
                fuzz::require(text == std::to_string(static_cast<std::int32_t>(entry.number)),
                              "a number read as text is not its decimal form");
            }
        }
    }

    // A write keeps every value that could be read, adds its own, and leaves a file that reads back the same.
    {
        SettingsStore store(path);
        store.WriteString("fuzz written", "a\\b\"c\r\nd");
        const auto it = std::find_if(entries.begin(), entries.end(),
                                     [](const auto &e) { return equalsIgnoringAsciiCase(e.name, "fuzz written"); });
        if (it != entries.end()) {
            it->type = SettingsStore::ValueType::String;
            it->text = "a\\b\"c\r\nd";
            it->number = 0;
        } else {
            entries.push_back({"fuzz written", SettingsStore::ValueType::String, "a\\b\"c\r\nd", 0});
        }
        fuzz::require(sameEntries(store.entries(), entries), "a write lost or changed a value");
    }
    // The program's own file is never taken for a damaged one.
    std::remove((path + ".bad").c_str());
    {
        SettingsStore store(path);
        fuzz::require(sameEntries(store.entries(), entries), "the rewritten file reads back differently");
        store.WriteString("fuzz written", "");
    }
    fuzz::require(!std::filesystem::exists(path + ".bad"), "the program's own file was kept as damaged");
    return 0;
}
