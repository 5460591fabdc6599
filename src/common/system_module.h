// TSystemModule: the settings data module that every program creates at start-up and
// keeps until it exits, reachable through the global SystemModule. It owns the version
// reader VersionInfo; GetVersionText builds the program's version text from it.
//
// GetVersionText() reads through SystemModule and needs it created; the module itself
// holds no state besides VersionInfo, so any thread may use it.
#pragma once

#include <memory>
#include <string>

#include "common/exe_version.h"

namespace vrel {

class TSystemModule {
  public:
    TWSAExeVersion VersionInfo;
};

// Created by each program's start-up, freed at exit.
extern std::unique_ptr<TSystemModule> SystemModule;

// "Version: " + FileVersion up to its last "." + " Build (" + the rest + ")"; the empty
// text when FileVersion holds no ".".
std::string GetVersionText(const TWSAExeVersion& versionInfo);
// The running program's version text, read through SystemModule.
std::string GetVersionText();

}  // namespace vrel
