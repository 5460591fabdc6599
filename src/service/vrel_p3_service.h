// TvrelP3Service: the POP3 service object of popservice. It owns the listening socket, which
// opens as soon as the object is created (also in runs with the install switches), hands each
// accepted client to a session thread, writes the start and stop lines to the daily log, and
// gives the service its "Description" on start.
//
// Created once by the program's entry; its handlers run on the framework's service thread.
// Nothing of the object is shared with the session threads but the daily log file. It trusts
// the services file for the port and the registry for its settings; a value stored with a
// type other than the writers use raises to the framework, which reports it in the event log.
#pragma once

#include <memory>
#include <string_view>

#include "platform/service.h"
#include "platform/sockets.h"
#include "service/client_limits.h"

namespace vrel {

inline constexpr std::string_view kServiceName = "vrelP3Service";

class TvrelP3Service : public win::TService {
  public:
    // Sets the stored properties and opens the listener; raises win::ESocketError when the
    // port cannot be had.
    TvrelP3Service();

    win::TServiceController GetServiceController() override;

  private:
    // Shared by the session threads; made before the listener, which ends them when it goes.
    ClientLimits limits_;

  public:
    win::TServerSocket ServerSocket;

    void ServiceStart(win::TService* Sender, bool& Started);
    void ServiceStop(win::TService* Sender, bool& Stopped);
    void ServiceExecute(win::TService* Sender);
    void ServerSocketGetThread(std::unique_ptr<win::TServerClientWinSocket>& ClientSocket,
                               std::unique_ptr<win::TServerClientThread>& SocketThread);

  private:
    // The start line, the authorization line and the service's "Description".
    void LogServiceStart();
};

// The one service object of the program, set by the entry.
extern TvrelP3Service* vrelP3Service;

// The control handler given to the service control manager: every code goes to the service.
void ServiceController(win::DWORD CtrlCode);

}  // namespace vrel
