// The arrival sink call by value: the request and reply forms, the server helper that runs a
// sink on the decoded message, and what a client takes from a reply it cannot trust.
#include "platform/cdo_wire.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/com_wire.h"
#include "platform/paths.h"
#include "test_machine.h"

namespace {

using namespace win;
using vrel::test::MachineTest;

// An envelope with every kind of value and every mark.
Envelope RichEnvelope() {
    Envelope envelope = MakeSmtpEnvelope("SMTP:bob@example.com;", "alice@example.org", "");
    envelope.Set("recipientlist", VARIANT("SMTP:bob@example.com;")).readable = false;
    envelope.Set("messagestatus", VARIANT(cdoStatSuccess)).writable = false;
    envelope.Set("binary", VARIANT(VARIANT::Bytes{0, 1, 0xFF})).updated = true;
    envelope.Set("nothing", VARIANT::Null());
    envelope.Set("empty", VARIANT());
    envelope.access = EnvelopeAccess::Empty;
    return envelope;
}

TEST(CdoWireTest, RequestTravelsWhole) {
    const Envelope envelope = RichEnvelope();
    const std::string bytes =
        EncodeOnArrivalRequest("C:\\Inetpub\\mailroot\\Queue\\a b.eml", envelope, 7);
    std::string fileName;
    Envelope decoded;
    std::int32_t eventStatus = 0;
    ASSERT_TRUE(DecodeOnArrivalRequest(bytes, fileName, decoded, eventStatus));
    EXPECT_EQ(fileName, "C:\\Inetpub\\mailroot\\Queue\\a b.eml");
    EXPECT_EQ(decoded, envelope);
    EXPECT_EQ(eventStatus, 7);
}

TEST(CdoWireTest, MalformedRequestIsRefused) {
    const std::string good = EncodeOnArrivalRequest("C:\\q\\1.eml", RichEnvelope(), 0);
    std::string fileName;
    Envelope envelope;
    std::int32_t eventStatus = 0;
    for (std::size_t size = 0; size < good.size(); ++size) {
        EXPECT_FALSE(DecodeOnArrivalRequest(good.substr(0, size), fileName, envelope, eventStatus))
            << "cut at " << size;
    }
    EXPECT_FALSE(DecodeOnArrivalRequest(good + "x", fileName, envelope, eventStatus));

    const auto request = [](std::uint8_t access, std::uint32_t count, std::uint32_t vt,
                            std::uint8_t flags) {
        WireWriter writer;
        writer.Text("C:\\q\\1.eml").I32(0).U8(access).U32(count).Text("f").U32(vt);
        if (vt == VT_I4) writer.I32(1);
        return writer.U8(flags).Take();
    };
    ASSERT_TRUE(DecodeOnArrivalRequest(request(0, 1, VT_I4, 3), fileName, envelope, eventStatus));
    const std::string refused[] = {
        request(3, 1, VT_I4, 3),           // unknown envelope access
        request(0, 1, 12, 3),              // a value type the envelope never holds
        request(0, 1, VT_I4, 8),           // an unknown field mark
        request(0, 0xFFFFFFFF, VT_I4, 3),  // a count far beyond the bytes given
    };
    for (const std::string& bytes : refused) {
        EXPECT_FALSE(DecodeOnArrivalRequest(bytes, fileName, envelope, eventStatus));
    }
}

class CdoWireServeTest : public MachineTest {};

TEST_F(CdoWireServeTest, SinkSeesTheMessageAndTheCallerGetsItsUpdates) {
    std::ofstream(ToHostPath("C:\\1.eml"), std::ios::binary) << "Subject: hi\r\n\r\nbody\r\n";
    Envelope envelope = MakeSmtpEnvelope("SMTP:a@here.test;SMTP:b@there.test;", "s@x.test", "");
    envelope.Set("clientipaddress", VARIANT("10.1.1.1")).writable = false;

    std::string reply;
    const HRESULT hr =
        ServeOnArrival(EncodeOnArrivalRequest("C:\\1.eml", envelope, cdoRunNextSink), reply,
                       [](std::shared_ptr<IMessage> message, std::int32_t* eventStatus) {
                           std::string subject;
                           EXPECT_EQ(message->get_Subject(subject), S_OK);
                           EXPECT_EQ(subject, "hi");
                           std::shared_ptr<Fields> fields;
                           EXPECT_EQ(message->get_EnvelopeFields(fields), S_OK);
                           std::shared_ptr<Field> field;
                           EXPECT_EQ(fields->get_Item("recipientlist", field), S_OK);
                           EXPECT_EQ(field->put_Value(VARIANT("SMTP:b@there.test;")), S_OK);
                           EXPECT_EQ(fields->Update(), S_OK);
                           // Written but never committed: the caller keeps its value.
                           EXPECT_EQ(fields->get_Item("messagestatus", field), S_OK);
                           EXPECT_EQ(field->put_Value(VARIANT(cdoStatAbortDelivery)), S_OK);
                           *eventStatus = cdoSkipRemainingSinks;
                           return DISP_E_EXCEPTION;
                       });
    EXPECT_EQ(hr, DISP_E_EXCEPTION);

    Envelope expected = envelope;
    expected.Find("recipientlist")->value = VARIANT("SMTP:b@there.test;");
    expected.Find("recipientlist")->updated = true;
    std::int32_t eventStatus = cdoRunNextSink;
    ASSERT_TRUE(ApplyOnArrivalReply(reply, envelope, eventStatus));
    EXPECT_EQ(envelope, expected);
    EXPECT_EQ(eventStatus, cdoSkipRemainingSinks);
}

TEST_F(CdoWireServeTest, MalformedRequestNeverReachesTheSink) {
    std::string reply;
    bool called = false;
    EXPECT_EQ(ServeOnArrival("\x01\x02", reply,
                             [&called](std::shared_ptr<IMessage>, std::int32_t*) {
                                 called = true;
                                 return S_OK;
                             }),
              E_INVALIDARG);
    EXPECT_FALSE(called);
    EXPECT_TRUE(reply.empty());
}

TEST(CdoWireTest, ClientTakesOnlyCommittedValuesOfItsOwnWritableFields) {
    Envelope mine = MakeSmtpEnvelope("SMTP:a@x.test;", "s@x.test", "10.0.0.1");
    mine.Find("clientipaddress")->writable = false;

    Envelope forged = mine;
    forged.Set("recipientlist", VARIANT("changed but not updated"));
    forged.Set("clientipaddress", VARIANT("1.2.3.4")).updated = true;  // not writable
    forged.Set("invented", VARIANT("x")).updated = true;               // not the caller's
    forged.Set("messagestatus", VARIANT(cdoStatAbortDelivery)).updated = true;
    std::erase_if(forged.fields, [](const EnvelopeField& field) {
        return field.name == "senderemailaddress";  // a dropped field stays with the caller
    });

    Envelope expected = mine;
    expected.Find("messagestatus")->value = VARIANT(cdoStatAbortDelivery);
    expected.Find("messagestatus")->updated = true;
    std::int32_t eventStatus = cdoRunNextSink;
    ASSERT_TRUE(ApplyOnArrivalReply(EncodeOnArrivalReply(forged, 1), mine, eventStatus));
    EXPECT_EQ(mine, expected);
    EXPECT_EQ(eventStatus, 1);

    const std::string reply = EncodeOnArrivalReply(forged, 5);
    EXPECT_FALSE(ApplyOnArrivalReply(reply.substr(0, reply.size() - 1), mine, eventStatus));
    EXPECT_EQ(mine, expected);
    EXPECT_EQ(eventStatus, 1);
}

}  // namespace
