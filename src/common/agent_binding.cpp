// Each operation creates its own event manager, walks to the bindings collection of the
// SMTP service's arrival event and releases every object before it returns (the chain's
// members go in reverse order of their making).
#include "common/agent_binding.h"

#include <exception>
#include <memory>

#include "common/com_scope.h"
#include "platform/seo.h"

namespace vrel {
namespace {

constexpr const char* kSmtpSourceType = "{fb65c4dc-e468-11d1-aa67-00c04fa345f6}";
constexpr const char* kEventSource = "{1b3c0666-e470-11d0-aa67-80c04fa345f6}";
constexpr const char* kArrivalEventType = "{FF3CAA23-00B9-11D2-9DFB-00C04FA322BA}";
constexpr std::int32_t kAgentPriority = 24000;

// COM for the calling thread, balanced on every way out whatever CoInitialize answered.
// The objects from the event manager down to the bindings collection; a step runs only when
// the one before delivered its object, so bindings is absent when any step failed.
struct BindingChain {
    std::shared_ptr<win::IEventManager> manager;
    std::shared_ptr<win::IEventSourceTypes> sourceTypes;
    std::shared_ptr<win::IEventSourceType> sourceType;
    std::shared_ptr<win::IEventSources> sources;
    std::shared_ptr<win::IEventSource> source;
    std::shared_ptr<win::IEventBindingManager> bindingManager;
    std::shared_ptr<win::IEventBindings> bindings;
};

void ReachBindings(BindingChain& chain) {
    if (win::CoCreateInstance(win::CLSID_CEventManager, win::CLSCTX_INPROC_SERVER, chain.manager) !=
        win::S_OK) {
        return;
    }
    chain.manager->get_SourceTypes(chain.sourceTypes);
    if (!chain.sourceTypes) return;
    chain.sourceTypes->Item(win::VARIANT(kSmtpSourceType), chain.sourceType);
    if (!chain.sourceType) return;
    chain.sourceType->get_Sources(chain.sources);
    if (!chain.sources) return;
    chain.sources->Item(win::VARIANT(kEventSource), chain.source);
    if (!chain.source) return;
    chain.source->GetBindingManager(chain.bindingManager);
    if (!chain.bindingManager) return;
    chain.bindingManager->get_Bindings(kArrivalEventType, chain.bindings);
}

// The identifier of the last binding of the walk whose sink class matches; a binding
// whose sink class cannot be read does not match.
std::string WalkBindings(win::IEventBindings& bindings, const std::string& sinkClass) {
    std::string result;
    try {
        std::shared_ptr<win::IUnknown> enumeration;
        std::shared_ptr<win::seo::IEnumVARIANT> enumerator;
        if (bindings.get__NewEnum(enumeration) != win::S_OK || !enumeration) return result;
        if (win::QueryInterface(enumeration, enumerator) != win::S_OK) return result;
        std::shared_ptr<win::IUnknown> element;
        while (enumerator->Next(element) == win::S_OK) {
            std::shared_ptr<win::IEventBinding> binding;
            std::string candidate;
            if (win::QueryInterface(element, binding) == win::S_OK &&
                binding->get_SinkClass(candidate) == win::S_OK && candidate == sinkClass) {
                std::string id;
                if (binding->get_ID(id) == win::S_OK) result = id;
            }
        }
    } catch (const std::exception&) {
        // The walk ends; what was found so far stands.
    }
    return result;
}

}  // namespace

void RegisterAgentBinding(const std::string& displayName, const std::string& sinkClass,
                          const std::string& id) {
    ComScope apartment;
    BindingChain chain;
    ReachBindings(chain);
    if (!chain.bindings) return;
    std::shared_ptr<win::IEventBinding> binding;
    chain.bindings->Add(id, binding);
    if (!binding) return;
    binding->put_SinkClass(sinkClass);
    binding->put_DisplayName(displayName);
    std::shared_ptr<win::IEventPropertyBag> properties;
    binding->get_SourceProperties(properties);
    if (properties) properties->Add("Priority", win::VARIANT(kAgentPriority));
    properties.reset();
    binding->Save();
}

void RemoveAgentBinding(const std::string& id) {
    ComScope apartment;
    BindingChain chain;
    ReachBindings(chain);
    if (chain.bindings) chain.bindings->Remove(win::VARIANT(id));
}

std::string FindAgentBinding(const std::string& sinkClass) {
    ComScope apartment;
    BindingChain chain;
    ReachBindings(chain);
    return chain.bindings ? WalkBindings(*chain.bindings, sinkClass) : std::string();
}

}  // namespace vrel
