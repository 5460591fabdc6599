// The SMTP service's event system (SEO): the event manager, its source types, sources,
// event types and the bindings of sinks to an event, kept in the machine's store.
//
// The event manager ({35172920-A700-11D0-A9EA-00AA00685C74}) is an in-process class the
// machine provides: COM knows its factory from the start, and CoCreateInstance creates it
// only while HKCR\CLSID\{...}\InprocServer32 exists (the SMTP component writes that key).
// Callers: the suite's binding functions, the SMTP component installer (sysocmgr), the
// SMTP service stand-in and winhost seo.
//
// Source types, sources and event types are stored at their Add and removed, with
// everything below them, at their Remove. A binding made by Add lives only in its object
// until Save stores it; Remove of a binding deletes it at once. Item of something that is
// not stored answers S_FALSE with no object, so callers test the object they got. Bindings
// enumerate in the order they were first saved. Identifiers are GUID texts compared without
// case. Nothing here throws for an ordinary failure: each call answers an HRESULT.
//
// An event manager and everything reached from it share one store connection and are meant
// for one thread, as an apartment-bound COM object would be.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"
#include "platform/oleauto.h"

namespace win {

inline constexpr CLSID CLSID_CEventManager = GuidFromText("{35172920-A700-11D0-A9EA-00AA00685C74}");
inline constexpr IID IID_IEventManager = GuidFromText("{5F6012B0-A651-11D0-A9EA-00AA00685C74}");
inline constexpr IID IID_IEventBinding = GuidFromText("{8E398CE0-A64E-11D0-A9EA-00AA00685C74}");

// Add of an identifier that is stored already (ERROR_ALREADY_EXISTS).
inline constexpr HRESULT SEO_E_ALREADY_EXISTS = HRESULT_FROM_WIN32(183);
// Remove of an identifier that is not stored, Save of a binding removed meanwhile
// (ERROR_NOT_FOUND).
inline constexpr HRESULT SEO_E_NOT_FOUND = HRESULT_FROM_WIN32(1168);

class Db;

namespace seo {
// The event system's IEnumVARIANT, one element per Next: S_OK with the element, S_FALSE
// when none is left. Its elements are COM objects to query; it stands apart from the
// directory's enumerator (adsi_winnt.h), whose elements are directory objects.
class IEnumVARIANT : public IUnknown {
  public:
    virtual HRESULT Next(std::shared_ptr<IUnknown>& element) = 0;
};
}  // namespace seo

class IEventPropertyBag : public IUnknown {
  public:
    // S_FALSE and an empty value when the bag has no property of that name.
    virtual HRESULT Item(std::string_view name, VARIANT& value) = 0;
    // Adds or replaces a property; names compare without case.
    virtual HRESULT Add(std::string_view name, const VARIANT& value) = 0;
};

class IEventBinding : public IUnknown {
  public:
    virtual HRESULT get_ID(std::string& id) = 0;
    virtual HRESULT get_SinkClass(std::string& sinkClass) = 0;
    virtual HRESULT put_SinkClass(std::string_view sinkClass) = 0;
    virtual HRESULT get_DisplayName(std::string& displayName) = 0;
    virtual HRESULT put_DisplayName(std::string_view displayName) = 0;
    virtual HRESULT get_SourceProperties(std::shared_ptr<IEventPropertyBag>& properties) = 0;
    // Stores the binding with its properties: a new binding fails with SEO_E_ALREADY_EXISTS
    // when another was saved under its identifier since its Add, a stored one with
    // SEO_E_NOT_FOUND when it was removed since it was read.
    virtual HRESULT Save() = 0;
};

class IEventBindings : public IUnknown {
  public:
    virtual HRESULT get_Count(std::int32_t& count) = 0;
    // A new, unsaved binding; E_INVALIDARG for an identifier that is not a braced GUID,
    // SEO_E_ALREADY_EXISTS when a binding of that identifier is stored.
    virtual HRESULT Add(std::string_view id, std::shared_ptr<IEventBinding>& binding) = 0;
    // Deletes the stored binding whose identifier the text variant holds.
    virtual HRESULT Remove(const VARIANT& id) = 0;
    // A seo::IEnumVARIANT over the stored bindings, each element an IEventBinding.
    virtual HRESULT get__NewEnum(std::shared_ptr<IUnknown>& enumerator) = 0;
};

class IEventBindingManager : public IUnknown {
  public:
    // The bindings of an event type registered for the source's type; S_FALSE and no
    // object for another event type.
    virtual HRESULT get_Bindings(std::string_view eventType,
                                 std::shared_ptr<IEventBindings>& bindings) = 0;
};

class IEventSource : public IUnknown {
  public:
    virtual HRESULT get_ID(std::string& id) = 0;
    virtual HRESULT GetBindingManager(std::shared_ptr<IEventBindingManager>& manager) = 0;
};

class IEventSources : public IUnknown {
  public:
    virtual HRESULT Item(const VARIANT& id, std::shared_ptr<IEventSource>& source) = 0;
    virtual HRESULT Add(std::string_view id, std::shared_ptr<IEventSource>& source) = 0;
    // Removes the source with its bindings.
    virtual HRESULT Remove(const VARIANT& id) = 0;
};

class IEventTypes : public IUnknown {
  public:
    virtual HRESULT Add(std::string_view eventType) = 0;
};

class IEventSourceType : public IUnknown {
  public:
    virtual HRESULT get_ID(std::string& id) = 0;
    virtual HRESULT get_EventTypes(std::shared_ptr<IEventTypes>& eventTypes) = 0;
    virtual HRESULT get_Sources(std::shared_ptr<IEventSources>& sources) = 0;
};

class IEventSourceTypes : public IUnknown {
  public:
    virtual HRESULT Item(const VARIANT& id, std::shared_ptr<IEventSourceType>& sourceType) = 0;
    virtual HRESULT Add(std::string_view id, std::shared_ptr<IEventSourceType>& sourceType) = 0;
    // Removes the source type with its event types, sources and their bindings.
    virtual HRESULT Remove(const VARIANT& id) = 0;
};

class IEventManager : public IUnknown {
  public:
    virtual HRESULT get_SourceTypes(std::shared_ptr<IEventSourceTypes>& sourceTypes) = 0;
};

// What the SEO library's own registration writes and removes: the event manager class in
// HKCR with its InprocServer32 key.
void RegisterEventManagerClass();
void UnregisterEventManagerClass();

// The event manager class's factory: a new event manager over the machine's store,
// whether or not the class is registered. COM holds it for CLSID_CEventManager.
std::shared_ptr<IUnknown> CreateEventManager();

// The SMTP service's identifiers in SEO.
inline constexpr std::string_view kSmtpSourceType = "{fb65c4dc-e468-11d1-aa67-00c04fa345f6}";
inline constexpr std::string_view kSmtpVirtualServer1Source =
    "{1b3c0666-e470-11d0-aa67-80c04fa345f6}";
inline constexpr std::string_view kSmtpOnArrivalEventType =
    "{FF3CAA23-00B9-11D2-9DFB-00C04FA322BA}";
// A binding without a readable "Priority" runs at this priority.
inline constexpr std::int32_t kDefaultSinkPriority = 24000;

struct ArrivalBinding {
    std::string id;
    std::string sinkClass;
    std::string displayName;
    std::int32_t priority;
};

// The saved arrival bindings of SMTP virtual server 1, lower priority numbers first and
// equal ones in the order they were saved; empty when SEO holds no SMTP source. Reads the
// store directly, as the SMTP service does, whether or not the event manager is registered.
std::vector<ArrivalBinding> ListArrivalBindings();

// The bindings collection of the arrival event of SMTP virtual server 1, reached through the
// event manager; the HRESULT of the step that failed (REGDB_E_CLASSNOTREG for one that found
// nothing) when it cannot be reached. The caller has COM initialised.
HRESULT OpenArrivalBindings(std::shared_ptr<IEventBindings>& bindings);

}  // namespace win
