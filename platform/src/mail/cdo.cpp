#include "platform/cdo.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <functional>
#include <random>

#include "mail/mail_text.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/metabase.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace win {
namespace fs = std::filesystem;

// The envelope of one message as its Fields see it: the committed record and the values
// written since the last Update.
struct EnvelopeState {
    Envelope committed;
    std::vector<VARIANT> working;
    std::vector<bool> pending;
};

namespace {

constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorWriteFault = 29;
constexpr std::uint32_t kErrorFileExists = 80;

std::string_view ShortFieldName(std::string_view name) {
    if (name.size() >= cdoSMTPEnvelopePrefix.size() &&
        SameText(name.substr(0, cdoSMTPEnvelopePrefix.size()), cdoSMTPEnvelopePrefix)) {
        name.remove_prefix(cdoSMTPEnvelopePrefix.size());
    }
    return name;
}

std::shared_ptr<EnvelopeState> MakeState(Envelope envelope) {
    auto state = std::make_shared<EnvelopeState>();
    for (const EnvelopeField& field : envelope.fields) state->working.push_back(field.value);
    state->pending.assign(envelope.fields.size(), false);
    state->committed = std::move(envelope);
    return state;
}

// A file written whole and durably (fs.h), with the answer SaveToFile gives.
HRESULT WriteIntoPlace(const fs::path& target, bool overwrite,
                       const std::function<bool(int)>& fill) {
    switch (WriteFileDurably(target, overwrite ? Existing::Replace : Existing::Keep, fill)) {
        case DurableWrite::Written:
            return S_OK;
        case DurableWrite::Exists:
            return HRESULT_FROM_WIN32(kErrorFileExists);
        case DurableWrite::Failed:
            break;
    }
    return HRESULT_FROM_WIN32(kErrorWriteFault);
}

// A text property of the SMTP service's first virtual server; empty when unset.
std::string SmtpServerText(std::string_view property) {
    std::shared_ptr<IIsObject> server;
    if (FAILED(ADsGetObject("IIS://localhost/smtpsvc/1", server))) return {};
    VARIANT value;
    if (FAILED(server->Get(property, value))) return {};
    return VariantToText(value).value_or(std::string());
}

// The unique left part of a Message-ID, also the pickup file's name.
std::string UniqueMessageName() {
    static std::atomic<unsigned> counter{0};
    static const unsigned seed = std::random_device{}();
    SYSTEMTIME time;
    GetLocalTime(time);
    char text[96];
    std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u%03u.%ld.%u.%08x", time.wYear,
                  time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                  time.wMilliseconds, static_cast<long>(::getpid()), ++counter, seed);
    return text;
}

}  // namespace

EnvelopeField* Envelope::Find(std::string_view name) {
    for (EnvelopeField& field : fields) {
        if (SameFieldName(field.name, name)) return &field;
    }
    return nullptr;
}

const EnvelopeField* Envelope::Find(std::string_view name) const {
    return const_cast<Envelope*>(this)->Find(name);
}

EnvelopeField& Envelope::Set(std::string_view name, VARIANT value) {
    EnvelopeField* field = Find(name);
    if (field) {
        field->value = std::move(value);
        return *field;
    }
    return fields.emplace_back(EnvelopeField{std::string(ShortFieldName(name)), std::move(value)});
}

Envelope MakeSmtpEnvelope(std::string recipientList, std::string sender, std::string clientIp) {
    Envelope envelope;
    envelope.Set("recipientlist", VARIANT(std::move(recipientList)));
    envelope.Set("messagestatus", VARIANT(cdoStatSuccess));
    envelope.Set("clientipaddress", VARIANT(std::move(clientIp)));
    envelope.Set("senderemailaddress", VARIANT(std::move(sender)));
    return envelope;
}

bool SameFieldName(std::string_view a, std::string_view b) {
    return SameText(ShortFieldName(a), ShortFieldName(b));
}

Field::Field(std::shared_ptr<EnvelopeState> state, std::size_t index)
    : state_(std::move(state)), index_(index) {}

HRESULT Field::get_Value(VARIANT& value) const {
    if (!state_->committed.fields[index_].readable) return E_FAIL;
    value = state_->working[index_];
    return S_OK;
}

HRESULT Field::put_Value(const VARIANT& value) {
    if (!state_->committed.fields[index_].writable) return adErrPermissionDenied;
    state_->working[index_] = value;
    state_->pending[index_] = true;
    return S_OK;
}

const std::string& Field::get_Name() const {
    return state_->committed.fields[index_].name;
}

Fields::Fields(std::shared_ptr<EnvelopeState> state) : state_(std::move(state)) {}

HRESULT Fields::get_Item(std::string_view name, std::shared_ptr<Field>& field) const {
    field.reset();
    const Envelope& envelope = state_->committed;
    const EnvelopeField* found = envelope.Find(name);
    if (!found) return adErrItemNotFound;
    field =
        std::make_shared<Field>(state_, static_cast<std::size_t>(found - envelope.fields.data()));
    return S_OK;
}

std::int32_t Fields::get_Count() const {
    return static_cast<std::int32_t>(state_->committed.fields.size());
}

HRESULT Fields::Update() {
    for (std::size_t i = 0; i < state_->pending.size(); ++i) {
        if (!state_->pending[i]) continue;
        state_->committed.fields[i].value = state_->working[i];
        state_->committed.fields[i].updated = true;
        state_->pending[i] = false;
    }
    return S_OK;
}

Stream::Stream(int fd) : fd_(fd) {}

Stream::~Stream() {
    ::close(fd_);
}

HRESULT Stream::SaveToFile(std::string_view fileName, SaveOptionsEnum options) {
    if (options != adSaveCreateNotExist && options != adSaveCreateOverWrite) return E_INVALIDARG;
    return WriteIntoPlace(ToHostPath(fileName), options == adSaveCreateOverWrite,
                          [this](int out) { return CopyFileContent(fd_, out); });
}

IMessage::IMessage(std::string fileName, Envelope envelope)
    : file_(ToHostPath(fileName)), envelope_(MakeState(std::move(envelope))) {}

IMessage::IMessage()
    : envelope_(MakeState(Envelope{EnvelopeAccess::Empty, {}})), headers_(Headers{}) {}

HRESULT IMessage::get_EnvelopeFields(std::shared_ptr<Fields>& fields) {
    fields.reset();
    switch (envelope_->committed.access) {
        case EnvelopeAccess::Fails:
            return E_FAIL;
        case EnvelopeAccess::Empty:
            return S_OK;
        case EnvelopeAccess::Available:
            break;
    }
    fields = std::make_shared<Fields>(envelope_);
    return S_OK;
}

HRESULT IMessage::GetStream(std::shared_ptr<Stream>& stream) {
    stream.reset();
    if (!file_) return E_FAIL;
    const int fd = ::open(file_->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return HRESULT_FROM_WIN32(kErrorPathNotFound);
    stream = std::make_shared<Stream>(fd);
    return S_OK;
}

bool IMessage::Load() {
    if (headers_) return true;
    FileHandle in(::open(file_->c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.IsOpen()) return false;
    std::string text;
    std::array<char, 1 << 16> buffer;
    for (;;) {
        const std::ptrdiff_t n = in.Read(buffer.data(), buffer.size());
        if (n < 0) return false;
        if (n == 0) break;
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    const mail::MessageHead head = mail::ParseHead(text);
    headers_ = Headers{mail::HeaderValue(head, "To"),      mail::HeaderValue(head, "From"),
                       mail::HeaderValue(head, "Subject"), mail::HeaderValue(head, "Reply-To"),
                       mail::HeaderValue(head, "Date"),    mail::HtmlBodyOf(text)};
    return true;
}

HRESULT IMessage::Read(std::string Headers::*part, std::string& value) {
    value.clear();
    if (!Load()) return E_FAIL;
    value = (*headers_).*part;
    return S_OK;
}

HRESULT IMessage::Write(std::string Headers::*part, std::string_view value) {
    if (!Load()) return E_FAIL;
    (*headers_).*part = std::string(value);
    return S_OK;
}

HRESULT IMessage::get_To(std::string& value) {
    return Read(&Headers::to, value);
}
HRESULT IMessage::put_To(std::string_view value) {
    return Write(&Headers::to, value);
}
HRESULT IMessage::get_From(std::string& value) {
    return Read(&Headers::from, value);
}
HRESULT IMessage::put_From(std::string_view value) {
    return Write(&Headers::from, value);
}
HRESULT IMessage::get_Subject(std::string& value) {
    return Read(&Headers::subject, value);
}
HRESULT IMessage::put_Subject(std::string_view value) {
    return Write(&Headers::subject, value);
}
HRESULT IMessage::get_HTMLBody(std::string& value) {
    return Read(&Headers::htmlBody, value);
}
HRESULT IMessage::put_HTMLBody(std::string_view value) {
    return Write(&Headers::htmlBody, value);
}

std::shared_ptr<IMessage> IMessage::Quote(std::string_view subjectPrefix) {
    const Headers& original = *headers_;
    auto message = CreateMessage();
    message->headers_->subject = std::string(subjectPrefix) + original.subject;
    message->headers_->htmlBody =
        "<br><br>-----Original Message-----<br>\r\nFrom: " + mail::HtmlEscape(original.from) +
        "<br>\r\nSent: " + mail::HtmlEscape(original.date) +
        "<br>\r\nTo: " + mail::HtmlEscape(original.to) +
        "<br>\r\nSubject: " + mail::HtmlEscape(original.subject) + "<br>\r\n<br>\r\n" +
        original.htmlBody;
    return message;
}

HRESULT IMessage::Reply(std::shared_ptr<IMessage>& reply) {
    reply.reset();
    if (!Load()) return E_FAIL;
    reply = Quote("RE: ");
    reply->headers_->to = Trim(headers_->replyTo).empty() ? headers_->from : headers_->replyTo;
    return S_OK;
}

HRESULT IMessage::Forward(std::shared_ptr<IMessage>& forward) {
    forward.reset();
    if (!Load()) return E_FAIL;
    forward = Quote("FW: ");
    return S_OK;
}

HRESULT IMessage::put_EnvelopeSender(std::string_view address) {
    const bool plain = std::ranges::none_of(address, [](const unsigned char c) {
        return c <= ' ' || c == 127 || c == '<' || c == '>';
    });
    if (!plain) return E_INVALIDARG;
    envelopeSender_ = std::string(address);
    return S_OK;
}

HRESULT IMessage::Send() {
    if (!Load()) return E_FAIL;
    const Headers& message = *headers_;
    if (Trim(message.to).empty()) return CDO_E_RECIPIENT_MISSING;
    if (Trim(message.from).empty()) return CDO_E_FROM_MISSING;
    const std::string pickup = SmtpServerText("PickupDirectory");
    if (pickup.empty()) return CDO_E_INVALID_SEND_OPTION;
    std::string domain = SmtpServerText("DefaultDomain");
    if (domain.empty()) domain = "localhost";

    const std::string name = UniqueMessageName();
    std::string text = (envelopeSender_ ? "x-sender: <" + *envelopeSender_ + ">\r\n" : "") +
                       mail::HeaderLine("Date", MailDateText()) +
                       mail::HeaderLine("From", message.from) + mail::HeaderLine("To", message.to) +
                       mail::TextHeaderLine("Subject", message.subject) +
                       mail::HeaderLine("Message-ID", "<" + name + "@" + domain + ">") +
                       "MIME-Version: 1.0\r\n"
                       "Content-Type: text/html; charset=windows-1252\r\n"
                       "Content-Transfer-Encoding: quoted-printable\r\n"
                       "\r\n" +
                       mail::EncodeQuotedPrintable(message.htmlBody);
    if (!text.ends_with("\r\n")) text += "\r\n";
    return WriteIntoPlace(ToHostPath(pickup) / (name + ".eml"), false,
                          [&text](int out) { return WriteAll(out, text); });
}

Envelope IMessage::GetEnvelope() const {
    return envelope_->committed;
}

std::shared_ptr<IMessage> OpenMessage(std::string_view fileName, Envelope envelope) {
    return std::make_shared<IMessage>(std::string(fileName), std::move(envelope));
}

std::shared_ptr<IMessage> CreateMessage() {
    return std::make_shared<IMessage>();
}

}  // namespace win
