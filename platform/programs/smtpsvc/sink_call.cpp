#include "sink_call.h"

#include "platform/cdo_wire.h"

namespace smtpsvc {

// The binding's object, made anew when none is held or its binding now names another class.
win::HRESULT ArrivalSinks::ObjectOf(const SinkBinding& binding, win::ComProxy*& object) {
    Held& held = held_[binding.id];
    if (!held.object || held.sinkClass != binding.sinkClass) {
        held.object.reset();
        win::CLSID clsid;
        win::HRESULT hr = win::CLSIDFromProgID(binding.sinkClass, clsid);
        if (win::SUCCEEDED(hr)) {
            hr = win::CoCreateInstance(clsid, win::CLSCTX_LOCAL_SERVER, win::IID_ISMTPOnArrival,
                                       held.object);
        }
        if (win::FAILED(hr)) {
            held_.erase(binding.id);
            return hr;
        }
        held.sinkClass = binding.sinkClass;
    }
    object = held.object.get();
    return win::S_OK;
}

win::HRESULT ArrivalSinks::Call(const SinkBinding& binding, const std::string& messageFile,
                                win::Envelope& envelope, std::int32_t& eventStatus) {
    win::ComProxy* object = nullptr;
    const win::HRESULT hr = ObjectOf(binding, object);
    if (win::FAILED(hr)) return hr;
    const win::HRESULT called = win::CallOnArrival(*object, messageFile, envelope, eventStatus);
    // A server that went away is started again for the retry.
    if (IsTransientFailure(called)) held_.erase(binding.id);
    return called;
}

void ArrivalSinks::Release() {
    held_.clear();
}

}  // namespace smtpsvc
