// SessionCount: the POP3 service's sessions per client address, so that one host cannot take
// every session (see client_limits.h for the limits). The addresses are the peers' own, as
// accepted; only those with a session open are kept.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace vrel {

// The sessions held now, in all and per client address, each within its limit. Shared by
// the session threads of one listener; every member locks.
class SessionCount {
  public:
    SessionCount(int maxSessions, int maxPerClient);
    SessionCount(const SessionCount&) = delete;
    SessionCount& operator=(const SessionCount&) = delete;

    // Counts a session of the address; false (and nothing counted) when a limit is reached.
    bool Enter(const std::string& address);
    void Leave(const std::string& address);

  private:
    const int maxSessions_;
    const int maxPerClient_;
    std::mutex mutex_;
    int total_ = 0;
    std::map<std::string, int> perClient_;
};

// One session counted for as long as the object lives, when the limits let it in.
class CountedSession {
  public:
    CountedSession(SessionCount& count, std::string address);
    CountedSession(const CountedSession&) = delete;
    CountedSession& operator=(const CountedSession&) = delete;
    ~CountedSession();

    bool Counted() const { return counted_; }

  private:
    SessionCount& count_;
    std::string address_;
    bool counted_;
};

}  // namespace vrel
