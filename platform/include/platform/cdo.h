// CDO messaging objects of the SMTP service: the message an arrival sink is given
// (`IMessage`), its SMTP envelope (`Fields` of `Field`s), its stream, and new messages made
// by `Reply`, `Forward` or `CreateMessage` and handed to the service by `Send`.
//
// An arriving message is a file, kept byte for byte, plus an `Envelope`: a plain value
// that the SMTP service stand-in builds, the COM layer carries between processes, and the
// service applies back after the call (the fields whose `Update` was called). A test or
// the service marks fields missing (absent from the list), unreadable or unwritable, and
// can make fetching the envelope fail or give nothing. Every call returns an HRESULT.
//
// Trust: the message file is mail from the network. Header and MIME reading takes any
// bytes; values written into a new message can never add header lines of their own.
// Field names are the CDO SMTP envelope names, in the short form ("recipientlist") or the
// full one ("http://schemas.microsoft.com/cdo/smtpenvelope/recipientlist"), without case.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/guid.h"
#include "platform/oleauto.h"

namespace win {

// Failure codes of the ADO and CDO libraries.
inline constexpr HRESULT adErrItemNotFound = MakeHResult(0x800A0CC1u);
inline constexpr HRESULT adErrPermissionDenied = MakeHResult(0x800A0E7Bu);
inline constexpr HRESULT CDO_E_RECIPIENT_MISSING = MakeHResult(0x8004020Cu);
inline constexpr HRESULT CDO_E_FROM_MISSING = MakeHResult(0x8004020Du);
inline constexpr HRESULT CDO_E_INVALID_SEND_OPTION = MakeHResult(0x80040220u);

inline constexpr std::string_view cdoSMTPEnvelopePrefix =
    "http://schemas.microsoft.com/cdo/smtpenvelope/";
inline constexpr std::string_view cdoRecipientList =
    "http://schemas.microsoft.com/cdo/smtpenvelope/recipientlist";
inline constexpr std::string_view cdoMessageStatus =
    "http://schemas.microsoft.com/cdo/smtpenvelope/messagestatus";
inline constexpr std::string_view cdoClientIPAddress =
    "http://schemas.microsoft.com/cdo/smtpenvelope/clientipaddress";
inline constexpr std::string_view cdoSenderEmailAddress =
    "http://schemas.microsoft.com/cdo/smtpenvelope/senderemailaddress";

// The arrival sink interface that the SMTP service calls.
inline constexpr IID IID_ISMTPOnArrival = GuidFromText("{CD000026-8B95-11D1-82DB-00C04FB1625D}");

// CdoMessageStat and CdoEventStatus values.
inline constexpr std::int32_t cdoStatSuccess = 0;
inline constexpr std::int32_t cdoStatAbortDelivery = 2;
inline constexpr std::int32_t cdoRunNextSink = 0;
inline constexpr std::int32_t cdoSkipRemainingSinks = 1;

enum SaveOptionsEnum : std::int32_t {
    adSaveCreateNotExist = 1,
    adSaveCreateOverWrite = 2,
};

// One envelope field as a plain value.
struct EnvelopeField {
    std::string name;  // short form, e.g. "recipientlist"
    VARIANT value;
    bool readable = true;
    bool writable = true;
    bool updated = false;  // `Update` committed a new value during the call
    friend bool operator==(const EnvelopeField&, const EnvelopeField&) = default;
};

// How fetching `EnvelopeFields` answers.
enum class EnvelopeAccess : std::uint8_t {
    Available,  // S_OK and the fields
    Fails,      // E_FAIL
    Empty,      // S_OK and no collection
};

struct Envelope {
    EnvelopeAccess access = EnvelopeAccess::Available;
    std::vector<EnvelopeField> fields;  // a field not in the list is missing

    EnvelopeField* Find(std::string_view name);
    const EnvelopeField* Find(std::string_view name) const;
    // Adds the field or gives an existing one the value; returns it for further marks.
    EnvelopeField& Set(std::string_view name, VARIANT value);
    friend bool operator==(const Envelope&, const Envelope&) = default;
};

// The envelope the SMTP service gives an arriving message: the recipient list
// ("SMTP:" + address + ";" per recipient), the sender, the client's address (empty for
// locally submitted mail) and message status 0.
Envelope MakeSmtpEnvelope(std::string recipientList, std::string sender, std::string clientIp);

// True when two field names name the same envelope field.
bool SameFieldName(std::string_view a, std::string_view b);

struct EnvelopeState;

// One field of a `Fields` collection. Values written are pending until `Update`.
class Field {
  public:
    Field(std::shared_ptr<EnvelopeState> state, std::size_t index);
    HRESULT get_Value(VARIANT& value) const;
    HRESULT put_Value(const VARIANT& value);
    const std::string& get_Name() const;

  private:
    std::shared_ptr<EnvelopeState> state_;
    std::size_t index_;
};

class Fields {
  public:
    explicit Fields(std::shared_ptr<EnvelopeState> state);
    // adErrItemNotFound for a missing field.
    HRESULT get_Item(std::string_view name, std::shared_ptr<Field>& field) const;
    std::int32_t get_Count() const;
    // Commits every pending value; the message's envelope records the fields as updated.
    HRESULT Update();

  private:
    std::shared_ptr<EnvelopeState> state_;
};

// The message's content as a stream, bound to the open file.
class Stream {
  public:
    explicit Stream(int fd);
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream();
    // Writes the whole content to fileName (a Windows path). The file appears whole or
    // not at all: the content goes to a temporary file beside it that is renamed into
    // place. adSaveCreateNotExist fails when the file exists.
    HRESULT SaveToFile(std::string_view fileName, SaveOptionsEnum options);

  private:
    int fd_;
};

class IMessage {
  public:
    // A message read from a file (a Windows path) with its envelope; the file is not
    // opened until a member needs it.
    IMessage(std::string fileName, Envelope envelope);
    // A new, empty message.
    IMessage();

    HRESULT get_EnvelopeFields(std::shared_ptr<Fields>& fields);
    // Fails, giving no stream, when the message has no readable file.
    HRESULT GetStream(std::shared_ptr<Stream>& stream);

    // Header texts, unfolded. Reading fails when the message file cannot be read.
    HRESULT get_To(std::string& value);
    HRESULT put_To(std::string_view value);
    HRESULT get_From(std::string& value);
    HRESULT put_From(std::string_view value);
    HRESULT get_Subject(std::string& value);
    HRESULT put_Subject(std::string_view value);
    // The HTML part, or the plain-text body as HTML.
    HRESULT get_HTMLBody(std::string& value);
    HRESULT put_HTMLBody(std::string_view value);

    // A new message to the sender (Reply-To, else From), subject "RE: " + subject, and a
    // new message with no addressee, subject "FW: " + subject; both quote the original
    // in their HTML body. They fail when the message cannot be read.
    HRESULT Reply(std::shared_ptr<IMessage>& reply);
    HRESULT Forward(std::shared_ptr<IMessage>& forward);
    // The reverse-path that Send gives the SMTP service, as the pickup file's first line
    // "x-sender: <address>". Unset, the service takes the From address; the empty text is
    // the null reverse-path "<>" that a delivery notice travels with, so that no notice is
    // ever sent about it. E_INVALIDARG for anything but a plain address or the empty text.
    HRESULT put_EnvelopeSender(std::string_view address);

    // Writes the message as RFC 5322 text (Date, Message-ID, a quoted-printable
    // text/html body in windows-1252) into the folder that the metabase's
    // IIS://localhost/smtpsvc/1 "PickupDirectory" names: first under a temporary name that
    // begins with "." and does not end in ".eml", then renamed to "<unique id>.eml", so a
    // pickup scan never reads half a file. Fails without a pickup folder, a To or a From.
    HRESULT Send();

    // The envelope after the call: committed values, with the fields `Update` committed
    // marked as updated.
    Envelope GetEnvelope() const;

  private:
    struct Headers {
        std::string to;
        std::string from;
        std::string subject;
        std::string replyTo;
        std::string date;
        std::string htmlBody;
    };
    bool Load();
    HRESULT Read(std::string Headers::*part, std::string& value);
    HRESULT Write(std::string Headers::*part, std::string_view value);
    std::shared_ptr<IMessage> Quote(std::string_view subjectPrefix);

    std::optional<std::filesystem::path> file_;
    std::shared_ptr<EnvelopeState> envelope_;
    std::optional<Headers> headers_;  // read from the file once, when first needed
    std::optional<std::string> envelopeSender_;
};

// What the SMTP service and tests call to make message objects.
std::shared_ptr<IMessage> OpenMessage(std::string_view fileName, Envelope envelope);
std::shared_ptr<IMessage> CreateMessage();

}  // namespace win
