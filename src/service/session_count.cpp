#include "service/session_count.h"

#include <utility>

namespace vrel {

SessionCount::SessionCount(int maxSessions, int maxPerClient)
    : maxSessions_(maxSessions), maxPerClient_(maxPerClient) {}

bool SessionCount::Enter(const std::string& address) {
    std::lock_guard lock(mutex_);
    int& fromClient = perClient_[address];
    if (total_ >= maxSessions_ || fromClient >= maxPerClient_) {
        if (fromClient == 0) perClient_.erase(address);
        return false;
    }
    ++total_;
    ++fromClient;
    return true;
}

void SessionCount::Leave(const std::string& address) {
    std::lock_guard lock(mutex_);
    --total_;
    if (--perClient_[address] == 0) perClient_.erase(address);
}

CountedSession::CountedSession(SessionCount& count, std::string address)
    : count_(count), address_(std::move(address)), counted_(count_.Enter(address_)) {}

CountedSession::~CountedSession() {
    if (counted_) count_.Leave(address_);
}

}  // namespace vrel
