// winhost seo: the arrival bindings of SMTP virtual server 1, administered by hand as an
// administrator's script would, through the SEO event manager (so nothing can be bound
// while the SMTP component is not installed).
//   seo list                      id, sink class, display name and priority, tab-separated,
//                                 in the order the SMTP service calls the sinks
//   seo add PROGID /name:DISPLAYNAME [/priority:N] [/id:{GUID}]
//   seo remove {GUID}
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "platform/seo.h"
#include "platform/text.h"

namespace winhost {
namespace {

constexpr std::int32_t kDefaultPriority = 24000;

int SyntaxError() {
    std::fputs(
        "usage: winhost seo list | add PROGID /name:DISPLAYNAME [/priority:N] [/id:{GUID}]\n"
        "                  | remove {GUID}\n",
        stderr);
    return 2;
}

int Failed(const char* what, win::HRESULT result) {
    std::fprintf(stderr, "winhost seo: %s (0x%08X)\n", what, static_cast<unsigned>(result));
    return 1;
}

// "/name:VALUE": the value when arg is that switch.
std::optional<std::string> SwitchValue(const std::string& arg, std::string_view name) {
    if (arg.size() <= name.size() + 1 || (arg[0] != '/' && arg[0] != '-') ||
        arg[name.size() + 1] != ':' || !win::SameText(arg.substr(1, name.size()), name)) {
        return std::nullopt;
    }
    return arg.substr(name.size() + 2);
}

struct NewBinding {
    std::string sinkClass;
    std::optional<std::string> name;
    std::int32_t priority = kDefaultPriority;
    std::string id;
};

bool ReadNewBinding(const Args& args, NewBinding& binding) {
    binding.sinkClass = args[1];
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (auto name = SwitchValue(args[i], "name")) {
            binding.name = *name;
        } else if (auto id = SwitchValue(args[i], "id")) {
            binding.id = *id;
        } else if (auto priority = SwitchValue(args[i], "priority")) {
            const char* end = priority->data() + priority->size();
            if (std::from_chars(priority->data(), end, binding.priority).ptr != end ||
                priority->empty()) {
                return false;
            }
        } else {
            return false;
        }
    }
    return binding.name.has_value();
}

int List() {
    std::shared_ptr<win::IEventBindings> bindings;
    if (const win::HRESULT hr = win::OpenArrivalBindings(bindings); hr != win::S_OK) {
        return Failed("the SMTP service is not registered with SEO", hr);
    }
    for (const win::ArrivalBinding& binding : win::ListArrivalBindings()) {
        std::printf("%s\t%s\t%s\t%d\n", binding.id.c_str(), binding.sinkClass.c_str(),
                    binding.displayName.c_str(), binding.priority);
    }
    return 0;
}

int Add(const Args& args) {
    NewBinding wanted;
    if (!ReadNewBinding(args, wanted)) return SyntaxError();
    if (wanted.id.empty()) {
        win::GUID guid;
        if (const win::HRESULT hr = win::CoCreateGuid(guid); hr != win::S_OK) {
            return Failed("no identifier could be made", hr);
        }
        wanted.id = win::StringFromGUID2(guid);
    }
    std::shared_ptr<win::IEventBindings> bindings;
    if (const win::HRESULT hr = win::OpenArrivalBindings(bindings); hr != win::S_OK) {
        return Failed("the SMTP service is not registered with SEO", hr);
    }
    std::shared_ptr<win::IEventBinding> binding;
    if (const win::HRESULT hr = bindings->Add(wanted.id, binding); hr != win::S_OK) {
        return Failed("the binding cannot be added", hr);
    }
    std::shared_ptr<win::IEventPropertyBag> properties;
    binding->put_SinkClass(wanted.sinkClass);
    binding->put_DisplayName(*wanted.name);
    binding->get_SourceProperties(properties);
    properties->Add("Priority", win::VARIANT(wanted.priority));
    if (const win::HRESULT hr = binding->Save(); hr != win::S_OK) {
        return Failed("the binding cannot be saved", hr);
    }
    std::printf("%s\n", wanted.id.c_str());
    return 0;
}

int Remove(const std::string& id) {
    std::shared_ptr<win::IEventBindings> bindings;
    if (const win::HRESULT hr = win::OpenArrivalBindings(bindings); hr != win::S_OK) {
        return Failed("the SMTP service is not registered with SEO", hr);
    }
    if (const win::HRESULT hr = bindings->Remove(win::VARIANT(id)); hr != win::S_OK) {
        return Failed("no binding has that identifier", hr);
    }
    return 0;
}

// COM for this thread while a verb runs.
struct ComApartment {
    ComApartment() { win::CoInitialize(); }
    ~ComApartment() { win::CoUninitialize(); }
};

}  // namespace

int Seo(const Args& args) {
    ComApartment apartment;
    const std::string operation = args.empty() ? std::string() : args[0];
    if (win::SameText(operation, "list") && args.size() == 1) return List();
    if (win::SameText(operation, "add") && args.size() >= 2) return Add(args);
    if (win::SameText(operation, "remove") && args.size() == 2) return Remove(args[1]);
    return SyntaxError();
}

}  // namespace winhost
