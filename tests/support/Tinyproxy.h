#pragma once

#include "support/TestProcess.h"

#include <memory>
#include <string>

namespace pelorix::test
{

// A real HTTP proxy for the tests: tinyproxy on 127.0.0.1 at a free port, asking for Basic authentication
// with the given user and password, stopped with the object.
class Tinyproxy
{
  public:
    Tinyproxy(const std::string &user, const std::string &password);
    // False when tinyproxy is not installed or did not start listening (error() says which).
    bool started() const { return m_started; }
    const std::string &error() const { return m_error; }
    int port() const { return m_port; }

  private:
    TempDir m_dir;
    int m_port = 0;
    bool m_started = false;
    std::string m_error;
    std::unique_ptr<ChildProcess> m_process;
};

} // namespace pelorix::test
