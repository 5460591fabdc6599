// test_sink: an arrival sink for the tests of the SMTP service stand-in, a COM local server
// started by COM with the command line its LocalServer32 key holds. Words of that line
// choose what its OnArrival does:
//
//   -clsid:{GUID}         the class it serves
//   -name:NAME            the name it writes to the call log
//   -status:N             the event status it sets
//   -messagestatus:N      the message status it commits
//   -handback:DOMAIN      commits a recipient list of only the recipients of that domain
//   -die:once             ends the process in its first call ever on this machine
//
// Each call appends "NAME PID RECIPIENTLIST" to run/sink_calls.log. Started with
// "/Automation", the process ends when the service releases its object.
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>

#include "platform/cdo_wire.h"
#include "platform/com_server.h"
#include "platform/message_loop.h"
#include "platform/text.h"
#include "store/machine.h"

namespace {

using namespace win;

std::map<std::string, std::string> options;
bool automation = false;

std::string Option(const std::string& key) {
    const auto found = options.find(key);
    return found == options.end() ? std::string() : found->second;
}

std::string Value(Fields& fields, std::string_view name) {
    std::shared_ptr<Field> field;
    VARIANT value;
    if (fields.get_Item(name, field) != S_OK || field->get_Value(value) != S_OK) return "";
    return VariantToText(value).value_or("");
}

void Commit(Fields& fields, std::string_view name, const VARIANT& value) {
    std::shared_ptr<Field> field;
    if (fields.get_Item(name, field) == S_OK && field->put_Value(value) == S_OK) fields.Update();
}

std::string HandBack(const std::string& list, const std::string& domain) {
    std::string kept;
    std::size_t at = 0;
    while ((at = list.find("SMTP:", at)) != std::string::npos) {
        const std::size_t end = std::min(list.find(';', at), list.size());
        const std::string address = list.substr(at + 5, end - at - 5);
        if (SameText(address.substr(address.rfind('@') + 1), domain))
            kept += "SMTP:" + address + ";";
        at = end;
    }
    return kept;
}

HRESULT OnArrival(const std::shared_ptr<IMessage>& message, std::int32_t* eventStatus) {
    if (Option("die") == "once") {
        const auto marker = RunFolder() / ("test_sink." + Option("name") + ".died");
        if (!std::ifstream(marker)) {
            std::ofstream(marker) << "died";
            _exit(9);
        }
    }
    std::shared_ptr<Fields> fields;
    if (message->get_EnvelopeFields(fields) != S_OK || !fields) return E_FAIL;
    const std::string list = Value(*fields, "recipientlist");
    std::ofstream(RunFolder() / "sink_calls.log", std::ios::app)
        << Option("name") << " " << ::getpid() << " " << list << "\n";
    if (!Option("handback").empty()) {
        Commit(*fields, "recipientlist", VARIANT(HandBack(list, Option("handback"))));
    }
    if (!Option("messagestatus").empty()) {
        Commit(*fields, "messagestatus", VARIANT(std::int32_t{std::stoi(Option("messagestatus"))}));
    }
    if (!Option("status").empty()) *eventStatus = std::stoi(Option("status"));
    return S_OK;
}

class TestSink : public ComServerObject {
  public:
    bool Supports(const IID& iid) const override { return iid == IID_ISMTPOnArrival; }
    HRESULT Invoke(std::string_view method, std::string_view request, std::string& reply) override {
        if (method != kOnArrivalMethod) return E_NOTIMPL;
        return ServeOnArrival(request, reply, OnArrival);
    }
};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        const std::size_t colon = word.find(':');
        if (SameText(word, "/Automation")) automation = true;
        if (word.size() > 1 && word[0] == '-' && colon != std::string::npos) {
            options[word.substr(1, colon - 1)] = word.substr(colon + 1);
        }
    }
    CLSID clsid;
    if (CLSIDFromString(Option("clsid"), clsid) != S_OK) return 2;
    CoInitialize();
    ComServer().SetQuitOnLastRelease(automation);
    DWORD registration = 0;
    if (FAILED(CoRegisterClassObject(
            clsid, [] { return std::make_unique<TestSink>(); }, CLSCTX_LOCAL_SERVER,
            REGCLS_MULTIPLEUSE, registration))) {
        return 2;
    }
    const int exitCode = RunMessageLoop();
    CoRevokeClassObject(registration);
    CoUninitialize();
    return exitCode;
}
