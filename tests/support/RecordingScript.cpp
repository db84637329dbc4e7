#include "support/RecordingScript.h"

#include "platform/AtomicFile.h"

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace pelorix::test
{

RecordingScript::RecordingScript(const std::string &folder, const std::string &name)
    : m_path(folder + name)
    , m_record(folder + name + ".record")
{
    // The record appears whole: written beside it, then renamed.
    writeFileAtomically(m_path, "#!/bin/sh\n"
                                "{ pwd; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; } > '" +
                                    m_record +
                                    ".part'\n"
                                    "mv '" +
                                    m_record + ".part' '" + m_record + "'\n");
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all);
}

std::string RecordingScript::waitForRecord(std::chrono::milliseconds wait) const
{
    const auto end = std::chrono::steady_clock::now() + wait;
    std::string text;
    while (!readWholeFile(m_record, text)) {
        if (std::chrono::steady_clock::now() >= end)
            return "(never run)";
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return text;
}

bool RecordingScript::ran() const
{
    return ::access(m_record.c_str(), F_OK) == 0;
}

void RecordingScript::clearRecord() const
{
    ::unlink(m_record.c_str());
}

ScopedEnvironment::ScopedEnvironment(const char *name, const std::optional<std::string> &value)
    : m_name(name)
{
    if (const char *previous = std::getenv(name))
        m_previous = previous;
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment()
{
    if (m_previous)
        ::setenv(m_name, m_previous->c_str(), 1);
    else
        ::unsetenv(m_name);
}

} // namespace pelorix::test
