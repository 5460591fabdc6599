// Installing and removing the POP3 service "vrelP3Service" from the settings program.
#pragma once

#include <string>

namespace vrel {

// The folder of the suite's programs: "InstallDirectory" of the settings key, or the
// settings program's own folder (with its trailing "\") when that is missing or empty.
std::string GetInstallDirectory();
// Creates the service for popservice.exe of the install folder, or re-points an existing
// one at it (only its image path and description change).
void InstallPop3Service();
// Stops the service (with the progress bar) and deletes it; silent on every path.
void RemovePop3Service();

}  // namespace vrel
