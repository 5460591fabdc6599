// What the SMTP service stand-in reads from the metabase node of its virtual server,
// IIS://localhost/smtpsvc/1, and its Domain container. Read afresh at each use, as the
// settings program may change it while the service runs. A missing node or property gives
// the empty text or the default.
#pragma once

#include <string>
#include <string_view>

#include "smtp_session.h"

namespace smtpsvc {

struct ServerConfig {
    std::string defaultDomain;
    std::string dropDirectory;
    std::string badMailDirectory;
    std::string pickupDirectory;
    std::string queueDirectory;
    // MaxMessageSize and MaxRecipients when set, else the session's defaults.
    SessionLimits limits;
};

ServerConfig ReadServerConfig();

// True for the default domain and for every child of the Domain container, whatever its
// route action, compared without case.
bool IsLocalDomain(std::string_view domain);

// The name the service gives itself in replies: the default domain, else the host name.
std::string ServerName(const ServerConfig& config);

}  // namespace smtpsvc
