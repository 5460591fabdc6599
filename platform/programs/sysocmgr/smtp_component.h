// The SMTP component (iis_smtp) of the optional-components installer: what installing and
// removing it changes on the machine. Called by sysocmgr's main; each step reports what
// failed on standard error.
#pragma once

namespace sysocmgr {

// Creates what is missing of the SMTP service, its metabase branch, its mail folders and
// its registration in SEO, leaving what exists as it is, then starts the service. False
// when a part could not be made; a service that does not start is not a failure.
bool InstallSmtpComponent();
// Stops and deletes the service, deletes the metabase branch and the SMTP registration in
// SEO with every binding, and unregisters the event manager. The mail folders stay.
bool RemoveSmtpComponent();

}  // namespace sysocmgr
