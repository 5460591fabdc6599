// winhost net: the accounts of the machine, as the Windows "net" tool administers them.
//
//   net user [NAME [PASSWORD] [/add | /delete] [/active:yes|no]] [/domain:NAME]
//   net localgroup [GROUP [MEMBER ...] [/add | /delete]] [/domain:NAME]
//   net group [GROUP [MEMBER ...] [/add | /delete]] /domain:NAME
//   net domain [NAME [/add | /delete] [/dc:NAME]]
//   net config [/domain:NAME]
//
// /domain:NAME acts on that NT domain's accounts and global groups, reachable or not, as
// the domain's own administrator would. A MEMBER may be "AUTHORITY\NAME". Messages and
// exit codes follow the Windows tool: 0 done, 1 syntax, 2 refused.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "commands.h"
#include "platform/accounts.h"
#include "platform/text.h"

namespace winhost {
namespace {

constexpr int kSyntaxError = 1;
constexpr int kRefused = 2;
constexpr std::size_t kColumnWidth = 25;
constexpr std::size_t kColumns = 3;
constexpr win::DWORD kOnlyOnController = 3515;
constexpr std::string_view kRule =
    "-------------------------------------------------------------------------------\n";

// The words and the "/name[:value]" switches of one command line.
struct NetArgs {
    std::vector<std::string> words;
    std::map<std::string, std::string> switches;  // lower-case name -> value

    bool Has(std::string_view name) const { return switches.contains(std::string(name)); }
    std::optional<std::string> Value(std::string_view name) const {
        const auto found = switches.find(std::string(name));
        if (found == switches.end()) return std::nullopt;
        return found->second;
    }
};

NetArgs Parse(const Args& args) {
    NetArgs parsed;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() > 1 && arg[0] == '/') {
            const std::size_t colon = arg.find(':');
            const std::string name = win::LowerCase(arg.substr(1, colon - 1));
            parsed.switches[name] = colon == std::string::npos ? "" : arg.substr(colon + 1);
        } else {
            parsed.words.push_back(arg);
        }
    }
    return parsed;
}

int Syntax(std::string_view lines) {
    std::printf("The syntax of this command is:\n\n%.*s\n", int(lines.size()), lines.data());
    return kSyntaxError;
}

int Completed() {
    std::puts("The command completed successfully.\n");
    return 0;
}

int Refused(const win::AccountError& error) {
    const win::DWORD code = error.Code();
    if (code >= 2100 && code < 4000) {
        std::printf("%s\n\nMore help is available by typing NET HELPMSG %u.\n\n", error.what(),
                    code);
    } else {
        std::printf("System error %u has occurred.\n\n%s\n\n", code, error.what());
    }
    return kRefused;
}

// The switches a command takes; another switch is a syntax error.
bool OnlySwitches(const NetArgs& args, std::initializer_list<std::string_view> allowed) {
    for (const auto& [name, value] : args.switches) {
        if (std::find(allowed.begin(), allowed.end(), name) == allowed.end()) return false;
    }
    return true;
}

win::Authority Target(win::AccountDirectory& directory, const NetArgs& args) {
    const auto domain = args.Value("domain");
    const auto authority = directory.FindAuthority(domain ? *domain : directory.ComputerName());
    if (!authority) {
        throw win::AccountError(win::ERROR_NO_SUCH_DOMAIN);
    }
    return *authority;
}

std::string ServerName(const win::Authority& authority) {
    return "\\\\" + (authority.controller.empty() ? authority.name : authority.controller);
}

win::Account Require(win::AccountDirectory& directory, const win::Authority& authority,
                     std::string_view name, win::AccountClass kind) {
    const auto account = directory.FindAccount(authority, name);
    if (!account || account->kind != kind) {
        throw win::AccountError(kind == win::AccountClass::User ? win::NERR_UserNotFound
                                                                : win::NERR_GroupNotFound);
    }
    return *account;
}

// "AUTHORITY\NAME", or NAME of the group's own authority.
win::Account Member(win::AccountDirectory& directory, const win::Authority& home,
                    std::string_view text) {
    const std::size_t slash = text.find('\\');
    std::optional<win::Authority> authority = home;
    if (slash != std::string_view::npos) authority = directory.FindAuthority(text.substr(0, slash));
    const std::string_view name = slash == std::string_view::npos ? text : text.substr(slash + 1);
    const auto account = authority ? directory.FindAccount(*authority, name) : std::nullopt;
    if (!account) {
        throw win::AccountError(
            win::ERROR_NO_SUCH_MEMBER,
            "There is no such global user or group: " + std::string(text) + ".");
    }
    return *account;
}

std::string DisplayName(const win::Account& account, const win::Authority& home) {
    return account.authorityId == home.id ? account.name : account.authority + "\\" + account.name;
}

void PrintColumns(const std::vector<std::string>& names) {
    std::string line;
    for (std::size_t i = 0; i < names.size(); ++i) {
        line += names[i];
        if ((i + 1) % kColumns == 0 || i + 1 == names.size()) {
            std::puts(line.c_str());
            line.clear();
        } else {
            line.append(names[i].size() < kColumnWidth ? kColumnWidth - names[i].size() : 1, ' ');
        }
    }
}

std::vector<std::string> NamesOf(const std::vector<win::Account>& accounts, win::AccountClass kind,
                                 std::string_view prefix) {
    std::vector<std::string> names;
    for (const win::Account& account : accounts) {
        if (account.kind == kind) names.push_back(std::string(prefix) + account.name);
    }
    return names;
}

int ListUsers(win::AccountDirectory& directory, const win::Authority& authority) {
    std::printf("\nUser accounts for %s\n\n%.*s", ServerName(authority).c_str(), int(kRule.size()),
                kRule.data());
    PrintColumns(NamesOf(directory.Accounts(authority), win::AccountClass::User, ""));
    return Completed();
}

int ShowUser(const win::Account& user) {
    std::printf("User name                    %s\n", user.name.c_str());
    std::printf("Account active               %s\n\n", user.disabled ? "No" : "Yes");
    return Completed();
}

bool ActiveSwitchOk(const NetArgs& args) {
    const auto active = args.Value("active");
    return !active || win::SameText(*active, "yes") || win::SameText(*active, "no");
}

int User(const NetArgs& args) {
    if (!OnlySwitches(args, {"add", "delete", "active", "domain"}) || args.words.size() > 2 ||
        (args.Has("add") && args.Has("delete")) || !ActiveSwitchOk(args)) {
        return Syntax(
            "NET USER\n[username [password] [/ACTIVE:{YES | NO}]] [/DOMAIN:name]\n"
            "username [password] /ADD [/DOMAIN:name]\n"
            "username [/DELETE] [/DOMAIN:name]");
    }
    win::AccountDirectory directory;
    const win::Authority authority = Target(directory, args);
    if (args.words.empty()) return ListUsers(directory, authority);
    const std::string& name = args.words[0];
    const bool hasPassword = args.words.size() > 1;
    if (args.Has("add")) directory.AddUser(authority, name, hasPassword ? args.words[1] : "");
    const win::Account user = Require(directory, authority, name, win::AccountClass::User);
    if (args.Has("delete")) {
        directory.DeleteAccount(user);
        return Completed();
    }
    if (hasPassword && !args.Has("add")) directory.SetPassword(user, args.words[1]);
    if (const auto active = args.Value("active")) {
        directory.SetDisabled(user, win::SameText(*active, "no"));
    }
    if (!hasPassword && !args.Has("add") && !args.Has("active")) return ShowUser(user);
    return Completed();
}

void ListGroups(win::AccountDirectory& directory, const win::Authority& authority,
                std::string_view title) {
    std::printf("\n%.*s for %s\n\n%.*s", int(title.size()), title.data(),
                ServerName(authority).c_str(), int(kRule.size()), kRule.data());
    for (const std::string& name :
         NamesOf(directory.Accounts(authority), win::AccountClass::Group, "*")) {
        std::puts(name.c_str());
    }
}

void ListMembers(win::AccountDirectory& directory, const win::Authority& authority,
                 const win::Account& group, std::string_view title) {
    std::printf("%-15.*s%s\nComment        \n\nMembers\n\n%.*s", int(title.size()), title.data(),
                group.name.c_str(), int(kRule.size()), kRule.data());
    for (const win::Account& member : directory.Members(group)) {
        std::puts(DisplayName(member, authority).c_str());
    }
}

// The body of "net localgroup" and "net group": the same verbs on the chosen authority.
int Groups(const NetArgs& args, std::string_view listTitle, std::string_view nameTitle) {
    win::AccountDirectory directory;
    const win::Authority authority = Target(directory, args);
    if (args.words.empty()) {
        ListGroups(directory, authority, listTitle);
        return Completed();
    }
    const std::string& name = args.words[0];
    if (args.words.size() == 1 && args.Has("add")) {
        directory.AddGroup(authority, name);
        return Completed();
    }
    const win::Account group = Require(directory, authority, name, win::AccountClass::Group);
    if (args.words.size() == 1 && args.Has("delete")) {
        directory.DeleteAccount(group);
    } else if (args.words.size() == 1) {
        ListMembers(directory, authority, group, nameTitle);
    } else {
        for (std::size_t i = 1; i < args.words.size(); ++i) {
            const win::Account member = Member(directory, authority, args.words[i]);
            if (args.Has("add")) {
                directory.AddMember(group, member);
            } else {
                directory.RemoveMember(group, member);
            }
        }
    }
    return Completed();
}

bool GroupSyntaxOk(const NetArgs& args) {
    return OnlySwitches(args, {"add", "delete", "domain"}) &&
           !(args.Has("add") && args.Has("delete")) &&
           (args.words.size() < 2 || args.Has("add") || args.Has("delete"));
}

int LocalGroup(const NetArgs& args) {
    if (!GroupSyntaxOk(args)) {
        return Syntax(
            "NET LOCALGROUP\n[groupname [/ADD | /DELETE] [/DOMAIN:name]]\n"
            "groupname name [...] {/ADD | /DELETE} [/DOMAIN:name]");
    }
    return Groups(args, "Aliases", "Alias name");
}

int Group(const NetArgs& args) {
    if (!GroupSyntaxOk(args)) {
        return Syntax(
            "NET GROUP\n[groupname [/ADD | /DELETE]] /DOMAIN:name\n"
            "groupname username [...] {/ADD | /DELETE} /DOMAIN:name");
    }
    if (!args.Has("domain")) {
        throw win::AccountError(kOnlyOnController,
                                "This command can be used only on a Windows Domain Controller.");
    }
    return Groups(args, "Group Accounts", "Group name");
}

int ListDomains(win::AccountDirectory& directory) {
    std::printf("\nDomains known to \\\\%s\n\n%.*s", directory.ComputerName().c_str(),
                int(kRule.size()), kRule.data());
    for (const win::Authority& domain : directory.Domains()) {
        const std::string controller =
            domain.controller.empty() ? "(no controller)" : "\\\\" + domain.controller;
        std::printf("%-*s%s\n", int(kColumnWidth), domain.name.c_str(), controller.c_str());
    }
    return Completed();
}

int Domain(const NetArgs& args) {
    if (!OnlySwitches(args, {"add", "delete", "dc"}) || args.words.size() > 1 ||
        (args.words.empty() && !args.switches.empty()) ||
        (args.Has("delete") && (args.Has("add") || args.Has("dc")))) {
        return Syntax(
            "NET DOMAIN\n[name /ADD [/DC:controller]]\nname /DC:[controller]\n"
            "name /DELETE");
    }
    win::AccountDirectory directory;
    if (args.words.empty()) return ListDomains(directory);
    const std::string& name = args.words[0];
    const std::string controller = args.Value("dc").value_or("");
    if (args.Has("add")) {
        directory.AddDomain(name, controller);
    } else if (args.Has("delete")) {
        directory.DeleteDomain(name);
    } else if (args.Has("dc")) {
        directory.SetDomainController(name, controller);
    } else {
        return Syntax("NET DOMAIN name {/ADD | /DELETE | /DC:[controller]}");
    }
    return Completed();
}

int Config(const NetArgs& args) {
    if (!OnlySwitches(args, {"domain"}) || !args.words.empty()) {
        return Syntax("NET CONFIG [/DOMAIN:name]");
    }
    win::AccountDirectory directory;
    if (const auto domain = args.Value("domain")) {
        directory.SetComputerDomain(*domain);
    } else {
        std::printf("Computer name                        \\\\%s\n",
                    directory.ComputerName().c_str());
        std::printf("Workstation domain                   %s\n\n",
                    directory.ComputerDomain().c_str());
    }
    return Completed();
}

struct NetVerb {
    std::string_view name;
    int (*run)(const NetArgs&);
};

constexpr NetVerb kNetVerbs[] = {
    {"user", User},     {"localgroup", LocalGroup}, {"group", Group},
    {"domain", Domain}, {"config", Config},
};

}  // namespace

int Net(const Args& args) {
    for (const NetVerb& verb : kNetVerbs) {
        if (args.empty() || !win::SameText(verb.name, args[0])) continue;
        try {
            return verb.run(Parse(args));
        } catch (const win::AccountError& error) {
            return Refused(error);
        }
    }
    return Syntax("NET [ CONFIG | DOMAIN | GROUP | LOCALGROUP | USER ]");
}

}  // namespace winhost
