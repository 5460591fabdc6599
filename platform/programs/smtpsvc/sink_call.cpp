#include "sink_call.h"

#include <memory>

#include "platform/cdo_wire.h"
#include "platform/com.h"

namespace smtpsvc {

win::HRESULT CallArrivalSink(const SinkBinding& binding, const std::string& messageFile,
                             win::Envelope& envelope, std::int32_t& eventStatus) {
    win::CLSID clsid;
    win::HRESULT hr = win::CLSIDFromProgID(binding.sinkClass, clsid);
    if (win::FAILED(hr)) return hr;
    std::unique_ptr<win::ComProxy> sink;
    hr = win::CoCreateInstance(clsid, win::CLSCTX_LOCAL_SERVER, win::IID_ISMTPOnArrival, sink);
    if (win::FAILED(hr)) return hr;
    return win::CallOnArrival(*sink, messageFile, envelope, eventStatus);
}

}  // namespace smtpsvc
