#include "admin/DeleteServer.h"

#include "core/Dialogs.h"
#include "discovery/RequestSignature.h"
#include "discovery/WebClient.h"
#include "discovery/WebRequests.h"

namespace pelorix
{

DeleteServer::DeleteServer(WebClient &web, Dialogs &dialogs)
    : m_web(web)
    , m_dialogs(dialogs)
{
}

DeleteOutcome DeleteServer::Run(const std::string &address)
{
    if (m_refusals > 2) {
        m_dialogs.message(DialogKind::Warning, "Locked!");
        return DeleteOutcome::Locked;
    }
    if (address.empty())
        return DeleteOutcome::NoSelection;
    const Signature signature = RequestSignature(false);
    // Cancel sends the request with an empty password all the same.
    const std::string password = m_dialogs.prompt("Master server admin login", "Password", "", false).value_or("");
    const WebRequest request = deleteServerRequest(password, address, signature);
    WebReach reach = WebReach::NotSent;
    const std::string reply = m_web.WebGet(request.address, request.userAgent, &reach);
    // No answer at all says nothing about the password, and nothing was deleted.
    if (reach != WebReach::Answered) {
        m_dialogs.message(DialogKind::Error, kDeleteUnreachableText);
        return DeleteOutcome::Unreachable;
    }
    if (!reply.empty()) {
        ++m_refusals;
        m_dialogs.message(DialogKind::Error, "Wrong password.");
        return DeleteOutcome::Refused;
    }
    m_dialogs.message(DialogKind::Information, "Server was deleted.");
    return DeleteOutcome::Deleted;
}

} // namespace pelorix
