// A small local server for the COM tests: registers its class object and serves calls
// through the message loop as the suite's agent does. See com_test_server.h.
#include "com_test_server.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/com_server.h"
#include "platform/message_loop.h"
#include "platform/text.h"
#include "store/machine.h"

namespace {

using namespace win;

std::vector<std::string> arguments;
int running = 0;
int mostRunning = 0;

bool HasSwitch(const char* name) {
    for (const std::string& argument : arguments) {
        if (SameText(argument, std::string("/") + name)) return true;
    }
    return false;
}

class TestObject : public ComServerObject {
  public:
    bool Supports(const IID& iid) const override {
        return iid == vrel::test::IID_IComTest || iid == IID_IDispatch;
    }

    HRESULT Invoke(std::string_view method, std::string_view request, std::string& reply) override {
        if (method == "Args") {
            for (const std::string& argument : arguments) reply += argument + "\n";
        } else if (method == "Echo") {
            reply = request;
        } else if (method == "Stderr") {
            std::cerr << request << std::endl;
        } else if (method == "Pid") {
            reply = std::to_string(::getpid());
        } else if (method == "Slow") {
            mostRunning = std::max(mostRunning, ++running);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(std::string(request))));
            --running;
            reply = std::to_string(mostRunning) + (::gettid() == ::getpid() ? " main" : " other");
        } else if (method == "Hang") {
            std::ofstream(RunFolder() /
                          ("com_test_server." + std::to_string(::getpid()) + ".hang"));
            std::this_thread::sleep_for(std::chrono::hours(1));
        } else if (method == "Fail") {
            SetErrorInfo(ErrorInfo{vrel::test::kComTestSource, std::string(request),
                                   vrel::test::IID_IComTest});
            return DISP_E_EXCEPTION;
        } else if (method == "Throw") {
            throw std::runtime_error("thrown");
        } else {
            return E_NOTIMPL;
        }
        return S_OK;
    }
};

}  // namespace

int main(int argc, char** argv) {
    arguments.assign(argv + 1, argv + argc);
    std::ofstream(RunFolder() / ("com_test_server." + std::to_string(::getpid()) + ".pid"))
        << ::getpid();
    if (HasSwitch("ExitAtOnce")) return 3;
    if (HasSwitch("NoRegister")) {
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    }
    CoInitialize();
    ComServer().SetQuitOnLastRelease(HasSwitch("Automation"));
    DWORD registration = 0;
    const HRESULT hr = CoRegisterClassObject(
        vrel::test::CLSID_ComTestServer, [] { return std::make_unique<TestObject>(); },
        CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, registration);
    if (FAILED(hr)) return 2;  // CO_E_OBJISREG: another server serves the class
    const int exitCode = RunMessageLoop();
    CoRevokeClassObject(registration);
    CoUninitialize();
    return exitCode;
}
