// The SMTP service's configuration in the IIS metabase: its default domain, its
// non-delivery address, its drop and bad-mail folders, and its local domains (SmtpLocalDomains).
//
// Called by all three programs (the settings program uses all five operations; the agent
// and the POP3 service reach the getters through settings_key). Every value is read afresh
// from the metabase. Nothing here fails loudly: a missing service, node or property, or a
// failing metabase call, gives the empty text, the one-entry list or false.
#pragma once

#include <string>
#include <vector>

namespace vrel {

std::string GetSmtpDefaultDomain();
std::string GetSmtpSendNdrTo();
std::string GetSmtpDropDirectory();
// The folder where the agent keeps copies of undeliverable mail.
std::string GetBadMailDirectory();

// The default domain first (also when empty), then every Domain child whose RouteAction is
// greater than 1, in the metabase's order; neither sorted nor made unique.
std::vector<std::string> GetLocalDomains();

// Adds a Domain child of class IIsSmtpDomain with RouteAction 16. False when the container
// cannot be bound or the child cannot be created (for instance because it exists); true
// once it is created, whether or not storing RouteAction succeeded.
bool CreateLocalDomain(const std::string& name);

}  // namespace vrel
