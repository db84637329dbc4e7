#pragma once

#include <string>

namespace pelorix
{

class Dialogs;
class WebClient;

enum class DeleteOutcome {
    NoSelection, // no row selected: nothing asked, nothing sent
    Locked,      // three refusals before: "Locked!", and the program must end
    Refused,     // the service answered with text: a refused password
    Unreachable, // the service never answered: nothing counted, the row stays
    Deleted,     // the service answered with nothing: the row goes
};

// The text of the message shown when the request never reached the service.
inline constexpr char kDeleteUnreachableText[] = "Could not reach the master server.\r\nThe server was not deleted.";

// "Delete server" (Deleteserver1Click) without its window: the password prompt, the request and its judgement, and
// the counter of refused attempts, which lives for the run.
class DeleteServer
{
  public:
    DeleteServer(WebClient &web, Dialogs &dialogs);

    // address is the selected row's address text ("" when no row is selected). The caller removes the selected row
    // on Deleted and ends the program in order on Locked.
    DeleteOutcome Run(const std::string &address);
    int refusals() const { return m_refusals; }

  private:
    WebClient &m_web;
    Dialogs &m_dialogs;
    int m_refusals = 0;
};

} // namespace pelorix
