// Adding and removing the Windows SMTP service through the optional-components installer,
// run unattended with an answer file written for the purpose.
#pragma once

namespace vrel {

// true adds the SMTP component, false removes it. The installer's outcome shows only in the
// service's state afterwards; "Failed to install SMTP service." when it cannot be started.
void SetSmtpComponent(bool install);

}  // namespace vrel
