// winhost: the admin command line of the machine, mirroring the Windows tools an
// administrator knows (reg, net, sc, ...).
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "commands.h"
#include "platform/text.h"
#include "terminal.h"

namespace {

struct Verb {
    std::string_view name;
    int (*run)(const winhost::Args&);
    std::string_view usage;
};

constexpr Verb kVerbs[] = {
    {"init", winhost::Init, "init                      create the machine with its defaults"},
    {"net", winhost::Net, "net user|localgroup|group|domain|config   accounts, groups and domains"},
    {"reg", winhost::Reg, "reg add|query|delete KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]"},
    {"mb", winhost::Mb, "mb get|set|create|delete|enum PATH ...  IIS://localhost/PATH"},
    {"sc", winhost::Sc, "sc query|qc|start|stop|create|delete ...  control services"},
    {"seo", winhost::Seo, "seo list|add|remove ...    arrival bindings of SMTP virtual server 1"},
    {"boot", winhost::Boot,
     "boot                      start automatic services until SIGINT/SIGTERM"},
    {"eventlog", winhost::EventLog, "eventlog                  print the event log"},
};

int Usage() {
    std::fputs("usage: winhost VERB [ARGUMENTS]\n", stderr);
    for (const Verb& verb : kVerbs)
        std::fprintf(stderr, "  %.*s\n", int(verb.usage.size()), verb.usage.data());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string fault;
    const std::optional<winhost::Args> args =
        winhost::ArgumentsFromTerminal(argv + 2, argv + argc, fault);
    if (!args) {
        std::fprintf(stderr, "winhost %s: %s; nothing was changed.\n", argv[1], fault.c_str());
        return 1;
    }
    winhost::PrintInTerminalEncoding();
    for (const Verb& verb : kVerbs) {
        if (!win::SameText(verb.name, argv[1])) continue;
        try {
            return verb.run(*args);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "winhost %s: %s\n", argv[1], error.what());
            return 1;
        }
    }
    return Usage();
}
