// Launch of a service process for StartService. The image path is a Windows command line:
// a quoted program, or an unquoted one tried with growing prefixes at its blanks as Windows
// does; "X.exe" also finds the host file "X", since programs are built without the suffix.
//
// The process runs detached: its own session, reparented away from the caller, standard
// input and output on /dev/null, standard error appended to run/<name>.log, the start's lock
// file as descriptor 3 and no other descriptor of the caller. The caller may have many
// threads, so the forked children only make async-signal-safe calls; everything they need
// is prepared before the fork.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/paths.h"
#include "platform/text.h"
#include "services/scm_internal.h"
#include "store/machine.h"

extern char** environ;

namespace win::scm {
namespace fs = std::filesystem;
namespace {

// Descriptors prepared for the child sit above the ones it gets (0 to 3), so that placing
// one never overwrites another.
constexpr int kFirstPreparedDescriptor = 10;

struct Program {
    fs::path host;
    std::vector<std::string> arguments;
};

// Splits the arguments of a command line at blanks; double quotes group blanks.
std::vector<std::string> SplitArguments(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

bool IsProgramFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::optional<fs::path> FindProgram(std::string_view windowsPath) {
    std::string path(windowsPath);
    if (path.size() < 2 || path[1] != ':') path = GetSystemDirectory() + "\\" + path;
    const fs::path host = ToHostPath(path);
    if (IsProgramFile(host)) return host;
    if (SameText(host.extension().string(), ".exe")) {
        fs::path bare = host;
        bare.replace_extension();
        if (IsProgramFile(bare)) return bare;
    }
    return std::nullopt;
}

std::string ExpandSystemRoot(std::string text) {
    for (const char* variable : {"%SystemRoot%", "%windir%"}) {
        const std::string name = variable;
        std::size_t at;
        while ((at = LowerCase(text).find(LowerCase(name))) != std::string::npos) {
            text.replace(at, name.size(), GetWindowsDirectory());
        }
    }
    return text;
}

std::optional<Program> ParseCommandLine(std::string_view commandLine) {
    const std::string text = ExpandSystemRoot(Trim(commandLine));
    if (!text.empty() && text[0] == '"') {
        const std::size_t close = text.find('"', 1);
        if (close == std::string::npos) return std::nullopt;
        const auto host = FindProgram(text.substr(1, close - 1));
        if (!host) return std::nullopt;
        return Program{*host, SplitArguments(std::string_view(text).substr(close + 1))};
    }
    for (std::size_t blank = text.find(' ');; blank = text.find(' ', blank + 1)) {
        const std::string prefix = text.substr(0, blank);
        if (const auto host = FindProgram(prefix)) {
            const std::string_view rest = blank == std::string::npos
                                              ? std::string_view()
                                              : std::string_view(text).substr(blank);
            return Program{*host, SplitArguments(rest)};
        }
        if (blank == std::string::npos) return std::nullopt;
    }
}

// An owned descriptor, moved above the child's range and closed on exec.
class Descriptor {
  public:
    explicit Descriptor(int fd)
        : fd_(fd < 0 ? fd : ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstPreparedDescriptor)) {
        if (fd >= 0) ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    int Get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

// What the children report through the pipe: the service process's id, or why exec failed.
struct ChildReport {
    int kind;  // kProcessId or kExecError
    int value;
};
constexpr int kProcessId = 1;
constexpr int kExecError = 2;

struct Prepared {
    std::vector<std::string> argvText, envText;
    std::vector<char*> argv, envp;
    std::string workingFolder;
};

Prepared Prepare(const ServiceLaunch& launch, const Program& program) {
    Prepared p;
    p.argvText.push_back(program.host.string());
    p.argvText.insert(p.argvText.end(), program.arguments.begin(), program.arguments.end());
    const std::string nameEntry = std::string(kServiceNameVariable) + "=";
    const std::string generationEntry = std::string(kGenerationVariable) + "=";
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with(nameEntry) || text.starts_with(generationEntry)) continue;
        p.envText.emplace_back(text);
    }
    p.envText.push_back(nameEntry + launch.name);
    p.envText.push_back(generationEntry + std::to_string(launch.generation));
    for (auto& text : p.argvText) p.argv.push_back(text.data());
    for (auto& text : p.envText) p.envp.push_back(text.data());
    p.argv.push_back(nullptr);
    p.envp.push_back(nullptr);
    p.workingFolder = ToHostPath(GetSystemDirectory()).string();
    return p;
}

void Report(int pipe, int kind, int value) {
    const ChildReport report{kind, value};
    [[maybe_unused]] const ssize_t n = ::write(pipe, &report, sizeof report);
}

[[noreturn]] void RunServiceProcess(const Prepared& p, int devNull, int log, int lock, int pipe) {
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &defaults, nullptr);
    if (::dup2(devNull, 0) < 0 || ::dup2(devNull, 1) < 0 || ::dup2(log, 2) < 0 ||
        ::dup2(lock, kLockDescriptor) < 0) {
        Report(pipe, kExecError, errno);
        ::_exit(127);
    }
    ::close_range(kLockDescriptor + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    if (::chdir(p.workingFolder.c_str()) != 0) (void)!::chdir("/");
    ::execve(p.argv[0], p.argv.data(), p.envp.data());
    Report(pipe, kExecError, errno);
    ::_exit(127);
}

// Forks twice so that the service process belongs to no caller and leaves no zombie.
LaunchResult Spawn(const Prepared& p, const ServiceLaunch& launch) {
    Descriptor lock(::open(LockPath(launch.name, launch.generation).c_str(),
                           O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    Descriptor log(
        ::open(LogPath(launch.name).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    Descriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return {ERROR_ACCESS_DENIED, 0};
    Descriptor reader(ends[0]), writer(ends[1]);
    if (lock.Get() < 0 || log.Get() < 0 || devNull.Get() < 0) return {ERROR_ACCESS_DENIED, 0};
    if (::flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) return {ERROR_SERVICE_ALREADY_RUNNING, 0};
    const pid_t child = ::fork();
    if (child < 0) return {ERROR_ACCESS_DENIED, 0};
    if (child == 0) {
        ::setsid();
        const pid_t service = ::fork();
        if (service == 0) RunServiceProcess(p, devNull.Get(), log.Get(), lock.Get(), writer.Get());
        Report(writer.Get(), service > 0 ? kProcessId : kExecError, service > 0 ? service : errno);
        ::_exit(0);
    }
    writer.Close();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    LaunchResult result{ERROR_ACCESS_DENIED, 0};
    ChildReport report;
    while (::read(reader.Get(), &report, sizeof report) == static_cast<ssize_t>(sizeof report)) {
        if (report.kind == kProcessId) result = {ERROR_SUCCESS, report.value};
        if (report.kind == kExecError) {
            return {report.value == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED, 0};
        }
    }
    return result;
}

}  // namespace

LaunchResult LaunchService(const ServiceLaunch& launch) {
    const std::optional<Program> program = ParseCommandLine(launch.commandLine);
    if (!program) return {ERROR_FILE_NOT_FOUND, 0};
    return Spawn(Prepare(launch, *program), launch);
}

}  // namespace win::scm
