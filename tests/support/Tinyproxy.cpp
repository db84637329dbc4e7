#include "support/Tinyproxy.h"

#include <fstream>

namespace pelorix::test
{

Tinyproxy::Tinyproxy(const std::string &user, const std::string &password)
{
    const std::string program = PELORIX_TINYPROXY_BIN;
    if (program.empty()) {
        m_error = "tinyproxy is not installed";
        return;
    }
    m_port = freeTcpPort();
    {
        std::ofstream conf(m_dir.file("tinyproxy.conf"));
        conf << "Port " << m_port << "\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\nBasicAuth " << user << " "
             << password << "\nMaxClients 10\nLogLevel Info\nDisableViaHeader Yes\n";
    }
    m_process =
        std::make_unique<ChildProcess>(program, std::vector<std::string>{"-d", "-c", m_dir.file("tinyproxy.conf")});
    m_started = waitForTcpPort(m_port);
    if (!m_started)
        m_error = "tinyproxy did not start: " + m_process->stderrText() + m_process->stdoutText();
}

} // namespace pelorix::test
