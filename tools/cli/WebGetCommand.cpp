// pelorix-cli webget: one request through the program's web client, with the stored proxy settings.
#include "Commands.h"
#include "TerminalDialogs.h"

#include "core/EventPump.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/WebClient.h"

#include <cstdio>

namespace pelorix::cli
{

namespace
{

int runWebGet(const std::vector<std::string> &args)
{
    std::string address;
    std::string agent;
    bool haveAddress = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--agent" && i + 1 < args.size()) {
            agent = utf8ToCp1252(args[++i]);
        } else if (!haveAddress && args[i] != "--agent") {
            address = utf8ToCp1252(args[i]);
            haveAddress = true;
        } else {
            std::fprintf(stderr, "usage: pelorix-cli webget URL [--agent TEXT]\n");
            return 64;
        }
    }
    if (!haveAddress) {
        std::fprintf(stderr, "usage: pelorix-cli webget URL [--agent TEXT]\n");
        return 64;
    }

    SettingsStore settings(SettingsStore::defaultPath());
    SleepingEventPump pump;
    TerminalDialogs dialogs;
    WebClient client(settings, pump, dialogs);
    const std::string text = client.WebGet(address, agent);
    // The reply's bytes as they came, Windows-1252 and CR LF included.
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
}

// The lines of `pelorix-cli --help` (and so of the manual page) that describe this command.
const bool registered =
    registerCommand("webget", runWebGet,
                    "webget URL [--agent TEXT]\n"
                    "                  one GET of URL through the window's web client (stored proxy\n"
                    "                  settings, TEXT as the user agent); the reply's bytes go to\n"
                    "                  standard output as they came. An unreachable service gives no\n"
                    "                  bytes, a fault inside the client the text 1;404; the status is 0\n"
                    "                  either way");

} // namespace

} // namespace pelorix::cli
