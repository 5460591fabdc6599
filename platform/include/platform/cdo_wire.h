// The SMTP arrival sink call (`ISMTPOnArrival::OnArrival`) carried by value between the
// SMTP service and a local server: the client helper marshals the message and its envelope
// into one request and applies the reply to its own envelope; the server helper opens the
// message from the request, runs the sink and answers.
//
// Request: the message file's Windows path, the event status as the caller holds it (the
// argument is in and out), and the envelope: its access state and each field that exists
// (a missing field is not in the list) with name, value, readable and writable. Reply:
// the event status after the call and the envelope's fields after it, those whose `Update`
// was called marked updated. The HRESULT and the error information travel with every COM
// reply (ComProxy::Call, GetErrorInfo); the reply data is sent whatever the HRESULT, since
// an envelope updated before a failure stays updated.
//
// Trust: both sides read the other's bytes with the bounds-checked WireReader and refuse
// anything malformed. The client takes from the reply only new values of its own fields
// that it let the sink write; it never gains fields or loses them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/cdo.h"
#include "platform/com.h"

namespace win {

inline constexpr std::string_view kOnArrivalMethod = "OnArrival";

// The byte forms; the decoders return false for anything malformed or with bytes left over.
std::string EncodeOnArrivalRequest(std::string_view fileName, const Envelope& envelope,
                                   std::int32_t eventStatus);
bool DecodeOnArrivalRequest(std::string_view bytes, std::string& fileName, Envelope& envelope,
                            std::int32_t& eventStatus);
std::string EncodeOnArrivalReply(const Envelope& envelope, std::int32_t eventStatus);
// Applies a reply to the caller's envelope and event status; false, changing nothing, when
// the reply is malformed.
bool ApplyOnArrivalReply(std::string_view reply, Envelope& envelope, std::int32_t& eventStatus);

// Client: calls OnArrival on the object and applies the reply to envelope and eventStatus
// (also when the call failed with the server's answer, e.g. DISP_E_EXCEPTION). A transport
// failure or a malformed reply changes neither; a malformed reply gives RPC_S_CALL_FAILED.
HRESULT CallOnArrival(ComProxy& sink, std::string_view fileName, Envelope& envelope,
                      std::int32_t& eventStatus);

// Server: the object's OnArrival, as a class implements it.
using OnArrivalSink = std::function<HRESULT(std::shared_ptr<IMessage>, std::int32_t*)>;
// Decodes the request (E_INVALIDARG when malformed, with no reply), opens the message, runs
// the sink and encodes the reply; returns the sink's HRESULT.
HRESULT ServeOnArrival(std::string_view request, std::string& reply, const OnArrivalSink& sink);

}  // namespace win
