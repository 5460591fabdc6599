// The system's text of an error code as the service tools show it: one line, no line end.
#include <string>

#include "platform/scm.h"
#include "platform/text.h"

namespace win {

std::string ScmErrorText(DWORD code) {
    const std::string text = Trim(FormatMessage(code));
    return text.empty() ? "System error " + std::to_string(code) + "." : text;
}

}  // namespace win
