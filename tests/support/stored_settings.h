// Settings and SMTP metabase nodes written straight into the test's machine, the way the
// settings program and the SMTP component leave them. Needs a machine (TestMachine).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/metabase.h"

namespace vrel::test {

using Properties = std::vector<std::pair<std::string, win::VARIANT>>;

// Writes the number into the settings key as a REG_DWORD.
void StoreNumber(std::string_view name, std::int32_t number);

// A node under IIS://localhost with its properties stored; the parent must exist.
void CreateNode(const std::string& parent, const char* className, const char* name,
                const Properties& properties = {});

// smtpsvc/1 with the given server properties and an empty Domain container.
void InstallSmtpServer(const Properties& properties);

}  // namespace vrel::test
