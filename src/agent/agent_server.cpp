// The class object of TMessageAgentImpl; see agent_server.h.
#include "agent/agent_server.h"

#include <memory>

#include "agent/agent_registration.h"
#include "agent/message_agent.h"
#include "platform/cdo_wire.h"
#include "platform/com_server.h"
#include "platform/dialogs.h"

namespace vrel {
namespace {

// One client's TMessageAgentImpl as the COM library serves it.
class MessageAgentObject : public win::ComServerObject {
  public:
    bool Supports(const win::IID& iid) const override {
        return iid == win::IID_ISMTPOnArrival || iid == win::IID_IDispatch;
    }

    win::HRESULT Invoke(std::string_view method, std::string_view request,
                        std::string& reply) override {
        if (method != win::kOnArrivalMethod) return win::E_NOTIMPL;
        return win::ServeOnArrival(
            request, reply, [this](std::shared_ptr<win::IMessage> Msg, std::int32_t* EventStatus) {
                return impl_.OnArrival(std::move(Msg), EventStatus);
            });
    }

  private:
    TMessageAgentImpl impl_;
};

constexpr const char* kNoCloseActiveServer =
    "There are still active COM objects in this application.  One or more clients may have "
    "references to these objects, so manually closing this application may cause those client "
    "application(s) to fail.\n\nAre you sure you want to close this application?";

}  // namespace

win::HRESULT RegisterMessageAgentClass(win::DWORD& registration) {
    return win::CoRegisterClassObject(
        CLSID_MessageAgent, [] { return std::make_unique<MessageAgentObject>(); },
        win::CLSCTX_LOCAL_SERVER, win::REGCLS_MULTIPLEUSE, registration);
}

bool ComServerCanClose() {
    if (win::ComServer().ObjectCount() == 0) return true;
    return win::MessageBox(kNoCloseActiveServer, "COM Server Warning",
                           win::MB_YESNO | win::MB_ICONWARNING | win::MB_DEFBUTTON2 |
                               win::MB_TASKMODAL) == win::IDYES;
}

}  // namespace vrel
