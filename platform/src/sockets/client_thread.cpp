// The server socket's session thread (see platform/sockets.h): one client at a time, then
// either the cache or the end. Called by TServerSocket's accept thread and by the owner at
// deactivation; ClientExecute belongs to the suite and may throw anything.
#include <malloc.h>

#include <stdexcept>
#include <system_error>

#include "platform/sockets.h"

namespace win {
namespace {

// A thread waiting in the cache keeps nothing of its session: glibc would keep what the session
// freed in its arena until the next one. The trim goes over every arena, once per session.
// Under AddressSanitizer the allocator is the sanitizer's: glibc's has nothing to give back,
// and a trim would start it on this thread, counting the thread into the main arena short,
// so that a later thread's exit aborts.
void GiveBackFreedMemory() {
#ifndef VREL_SANITIZED
    ::malloc_trim(0);
#endif
}

}  // namespace

TServerClientThread::TServerClientThread(std::unique_ptr<TServerClientWinSocket> socket)
    : socket_(std::move(socket)) {}

TServerClientThread::~TServerClientThread() {
    Terminate();
    CloseClient();
    WaitFor();
}

bool TServerClientThread::Resume() {
    try {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable() && !finished_) {
            thread_ = std::thread(&TServerClientThread::Execute, this);
        }
        return true;
    } catch (const std::system_error& error) {
        finished_ = true;
        Report(std::make_exception_ptr(
            std::runtime_error("Thread creation error: " + error.code().message())));
        return false;
    }
}

bool TServerClientThread::ReActivate(std::unique_ptr<TServerClientWinSocket>& socket) {
    {
        std::lock_guard lock(mutex_);
        if (ending_ || terminated_ || socket_) return false;
        socket_ = std::move(socket);
    }
    wake_.notify_all();
    return true;
}

void TServerClientThread::Terminate() {
    {
        std::lock_guard lock(mutex_);
        terminated_ = true;
    }
    wake_.notify_all();
}

void TServerClientThread::CloseClient() {
    std::lock_guard lock(mutex_);
    if (socket_) socket_->Close();
}

void TServerClientThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool TServerClientThread::Idle() const {
    std::lock_guard lock(mutex_);
    return thread_.joinable() && !ending_ && !terminated_ && !socket_;
}

void TServerClientThread::HandleException(std::exception_ptr) {}

void TServerClientThread::Execute() {
    try {
        bool done = false;
        while (!done) {
            if (StartConnect()) ClientExecute();
            done = EndConnect(KeepInCache);
            if (!done) GiveBackFreedMemory();
        }
    } catch (...) {
        Report(std::current_exception());
        EndConnect(false);
    }
    finished_ = true;
}

void TServerClientThread::Report(std::exception_ptr error) {
    try {
        HandleException(error);
    } catch (...) {
        // A failing report must not take the process down with it.
    }
}

bool TServerClientThread::StartConnect() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return socket_ || terminated_; });
    return !terminated_;
}

bool TServerClientThread::EndConnect(bool keep) {
    std::lock_guard lock(mutex_);
    socket_.reset();
    if (terminated_ || !keep) ending_ = true;
    return ending_;
}

}  // namespace win
