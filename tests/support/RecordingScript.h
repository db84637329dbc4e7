#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace pelorix::test
{

// Stands in for a program that the code under test starts (the Wine launcher, the browser, a game): a shell
// script that writes its working folder and then its arguments, one per line in brackets, to a record file.
class RecordingScript
{
  public:
    // The script and its record are made in `folder` (ending with '/'), which must outlive the object.
    RecordingScript(const std::string &folder, const std::string &name);

    const std::string &path() const { return m_path; }
    // The record once the script has run, "(never run)" when it has not run within the wait.
    std::string waitForRecord(std::chrono::milliseconds wait = std::chrono::seconds(10)) const;
    // True when the script has run by now.
    bool ran() const;
    // Forgets an earlier run, so the next one can be waited for.
    void clearRecord() const;

  private:
    std::string m_path;
    std::string m_record;
};

// Sets an environment variable for the object's life (no value: removes it); the earlier value, or its
// absence, comes back after.
class ScopedEnvironment
{
  public:
    ScopedEnvironment(const char *name, const std::optional<std::string> &value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

  private:
    const char *m_name;
    std::optional<std::string> m_previous;
};

} // namespace pelorix::test
