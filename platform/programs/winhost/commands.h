// The verbs of winhost, the machine's admin command line. Each takes the words after the
// verb, prints what an administrator needs to read, and returns the exit code.
#pragma once

#include <string>
#include <vector>

namespace winhost {

using Args = std::vector<std::string>;

int Init(const Args& args);
int Net(const Args& args);
int Reg(const Args& args);
int Mb(const Args& args);
int Sc(const Args& args);
int Seo(const Args& args);
int Boot(const Args& args);
int EventLog(const Args& args);

}  // namespace winhost
