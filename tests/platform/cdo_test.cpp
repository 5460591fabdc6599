#include "platform/cdo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "platform/metabase.h"
#include "platform/paths.h"
#include "test_machine.h"

namespace {

namespace fs = std::filesystem;
using vrel::test::MachineTest;
using namespace win;

std::string ReadHostFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class CdoTest : public MachineTest {
  protected:
    void SetUp() override { fs::create_directories(ToHostPath("C:\\mail")); }

    // Writes content to C:\mail\<name> and opens it as an arriving message.
    std::shared_ptr<IMessage> Arrive(const std::string& name, const std::string& content,
                                     Envelope envelope = {}) {
        std::ofstream(ToHostPath("C:\\mail\\" + name), std::ios::binary) << content;
        return OpenMessage("C:\\mail\\" + name, std::move(envelope));
    }

    std::shared_ptr<Fields> EnvelopeOf(IMessage& message) {
        std::shared_ptr<Fields> fields;
        EXPECT_EQ(message.get_EnvelopeFields(fields), S_OK);
        return fields;
    }

    std::shared_ptr<Field> Item(Fields& fields, std::string_view name) {
        std::shared_ptr<Field> field;
        EXPECT_EQ(fields.get_Item(name, field), S_OK) << name;
        return field;
    }

    static std::string Text(HRESULT (IMessage::*getter)(std::string&), IMessage& message) {
        std::string value;
        EXPECT_EQ((message.*getter)(value), S_OK);
        return value;
    }
};

// ---- Envelope fields ----

TEST_F(CdoTest, EnvelopeFieldsAnswerByShortAndFullName) {
    auto message =
        Arrive("a.eml", "Subject: x\r\n\r\nbody\r\n",
               MakeSmtpEnvelope("SMTP:bob@example.com;", "alice@example.org", "10.0.0.1"));
    auto fields = EnvelopeOf(*message);
    ASSERT_NE(fields, nullptr);
    EXPECT_EQ(fields->get_Count(), 4);

    const std::pair<std::string_view, VARIANT> expected[] = {
        {"recipientlist", VARIANT("SMTP:bob@example.com;")},
        {cdoRecipientList, VARIANT("SMTP:bob@example.com;")},
        {"HTTP://schemas.microsoft.com/cdo/SMTPENVELOPE/RecipientList",
         VARIANT("SMTP:bob@example.com;")},
        {cdoMessageStatus, VARIANT(cdoStatSuccess)},
        {"clientipaddress", VARIANT("10.0.0.1")},
        {cdoSenderEmailAddress, VARIANT("alice@example.org")},
    };
    for (const auto& [name, value] : expected) {
        VARIANT read;
        ASSERT_EQ(Item(*fields, name)->get_Value(read), S_OK) << name;
        EXPECT_EQ(read, value) << name;
    }
}

TEST_F(CdoTest, MissingUnreadableAndUnwritableFieldsFailTheirCalls) {
    Envelope envelope = MakeSmtpEnvelope("SMTP:bob@example.com;", "a@b", "");
    envelope.fields.erase(envelope.fields.begin() + 1);  // messagestatus missing
    envelope.Find("recipientlist")->readable = false;
    envelope.Find("senderemailaddress")->writable = false;
    auto message = Arrive("a.eml", "\r\n", envelope);
    auto fields = EnvelopeOf(*message);

    std::shared_ptr<Field> missing;
    EXPECT_EQ(fields->get_Item("messagestatus", missing), adErrItemNotFound);
    EXPECT_EQ(missing, nullptr);

    VARIANT value("untouched");
    auto unreadable = Item(*fields, "recipientlist");
    EXPECT_TRUE(FAILED(unreadable->get_Value(value)));
    EXPECT_EQ(value, VARIANT("untouched"));
    EXPECT_EQ(unreadable->put_Value(VARIANT("SMTP:x@y;")), S_OK);  // unreadable, still writable

    auto unwritable = Item(*fields, "senderemailaddress");
    EXPECT_EQ(unwritable->put_Value(VARIANT("other@b")), adErrPermissionDenied);
    ASSERT_EQ(unwritable->get_Value(value), S_OK);
    EXPECT_EQ(value, VARIANT("a@b"));
}

TEST_F(CdoTest, EnvelopeThatFailsOrGivesNothing) {
    const std::pair<EnvelopeAccess, HRESULT> cases[] = {
        {EnvelopeAccess::Fails, E_FAIL},
        {EnvelopeAccess::Empty, S_OK},
    };
    for (const auto& [access, result] : cases) {
        Envelope envelope = MakeSmtpEnvelope("SMTP:a@b;", "", "");
        envelope.access = access;
        auto message = Arrive("a.eml", "\r\n", envelope);
        std::shared_ptr<Fields> fields;
        EXPECT_EQ(message->get_EnvelopeFields(fields), result);
        EXPECT_EQ(fields, nullptr);
    }
    std::shared_ptr<Fields> fields;
    EXPECT_EQ(CreateMessage()->get_EnvelopeFields(fields), S_OK);
    EXPECT_EQ(fields, nullptr);
}

TEST_F(CdoTest, OnlyValuesCommittedByUpdateReachTheEnvelope) {
    auto message = Arrive("a.eml", "\r\n", MakeSmtpEnvelope("SMTP:a@b;SMTP:c@d;", "s@e", ""));
    auto fields = EnvelopeOf(*message);
    auto list = Item(*fields, cdoRecipientList);
    auto status = Item(*fields, "messagestatus");

    ASSERT_EQ(list->put_Value(VARIANT("SMTP:c@d;")), S_OK);
    VARIANT pending;
    ASSERT_EQ(list->get_Value(pending), S_OK);
    EXPECT_EQ(pending, VARIANT("SMTP:c@d;"));  // the object sees its own write at once
    EXPECT_FALSE(message->GetEnvelope().Find("recipientlist")->updated);

    ASSERT_EQ(fields->Update(), S_OK);
    ASSERT_EQ(status->put_Value(VARIANT(cdoStatAbortDelivery)), S_OK);  // never updated

    const Envelope after = message->GetEnvelope();
    EXPECT_TRUE(after.Find("recipientlist")->updated);
    EXPECT_EQ(after.Find("recipientlist")->value, VARIANT("SMTP:c@d;"));
    EXPECT_FALSE(after.Find("messagestatus")->updated);
    EXPECT_EQ(after.Find("messagestatus")->value, VARIANT(cdoStatSuccess));
    EXPECT_FALSE(after.Find("senderemailaddress")->updated);
}

// ---- Stream ----

TEST_F(CdoTest, SaveToFileKeepsTheMessageByteForByte) {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    std::string large;
    std::mt19937 random(7);
    for (int i = 0; i < 300000; ++i) large += static_cast<char>(random());
    const std::pair<const char*, std::string> cases[] = {
        {"crlf", "Subject: hi\r\n\r\nline one\r\nline two\r\n"},
        {"no final line end", "Subject: hi\r\n\r\nlast line"},
        {"bare LF and CR", "Subject: hi\n\nline\rmore\n"},
        {"binary", binary},
        {"empty", ""},
        {"larger than any buffer", large},
    };
    for (const auto& [name, content] : cases) {
        auto message = Arrive("in.eml", content);
        std::shared_ptr<Stream> stream;
        ASSERT_EQ(message->GetStream(stream), S_OK) << name;
        ASSERT_EQ(stream->SaveToFile("C:\\mail\\out.eml", adSaveCreateOverWrite), S_OK) << name;
        EXPECT_EQ(ReadHostFile(ToHostPath("C:\\mail\\out.eml")), content) << name;
    }
}

TEST_F(CdoTest, OneStreamSavesToManyFilesAndOverwritesLongerOnes) {
    auto message = Arrive("in.eml", "short\r\n");
    std::ofstream(ToHostPath("C:\\mail\\old.eml"), std::ios::binary) << std::string(5000, 'x');
    std::shared_ptr<Stream> stream;
    ASSERT_EQ(message->GetStream(stream), S_OK);
    for (const char* target : {"C:\\mail\\old.eml", "C:\\mail\\one.eml", "C:\\mail\\two.eml"}) {
        ASSERT_EQ(stream->SaveToFile(target, adSaveCreateOverWrite), S_OK) << target;
        EXPECT_EQ(ReadHostFile(ToHostPath(target)), "short\r\n") << target;
    }
    EXPECT_EQ(FolderNames(ToHostPath("C:\\mail")),
              (std::vector<std::string>{"in.eml", "old.eml", "one.eml", "two.eml"}));
}

TEST_F(CdoTest, CreateNotExistKeepsAnExistingFile) {
    auto message = Arrive("in.eml", "new\r\n");
    std::ofstream(ToHostPath("C:\\mail\\kept.eml"), std::ios::binary) << "old\r\n";
    std::shared_ptr<Stream> stream;
    ASSERT_EQ(message->GetStream(stream), S_OK);
    EXPECT_EQ(stream->SaveToFile("C:\\mail\\kept.eml", adSaveCreateNotExist),
              HRESULT_FROM_WIN32(80));
    EXPECT_EQ(ReadHostFile(ToHostPath("C:\\mail\\kept.eml")), "old\r\n");
    EXPECT_EQ(stream->SaveToFile("C:\\mail\\fresh.eml", adSaveCreateNotExist), S_OK);
    EXPECT_EQ(FolderNames(ToHostPath("C:\\mail")),
              (std::vector<std::string>{"fresh.eml", "in.eml", "kept.eml"}));
}

TEST_F(CdoTest, NoStreamWithoutAReadableFileAndNoSaveIntoAMissingFolder) {
    std::shared_ptr<Stream> stream;
    EXPECT_TRUE(FAILED(OpenMessage("C:\\mail\\absent.eml", {})->GetStream(stream)));
    EXPECT_EQ(stream, nullptr);
    EXPECT_TRUE(FAILED(CreateMessage()->GetStream(stream)));
    EXPECT_EQ(stream, nullptr);

    ASSERT_EQ(Arrive("in.eml", "x")->GetStream(stream), S_OK);
    EXPECT_TRUE(FAILED(stream->SaveToFile("C:\\nowhere\\out.eml", adSaveCreateOverWrite)));
    EXPECT_FALSE(fs::exists(ToHostPath("C:\\nowhere")));
}

// ---- Headers and body ----

struct HeaderCase {
    const char* name;
    const char* message;
    const char* to;
    const char* from;
    const char* subject;
};

TEST_F(CdoTest, HeadersAreUnfoldedWhateverTheLineEnds) {
    const HeaderCase cases[] = {
        {"crlf folded", "To: a@b,\r\n c@d\r\nFrom: Me <me@x>\r\nSubject: one\r\n\ttwo\r\n\r\nbody",
         "a@b, c@d", "Me <me@x>", "one\ttwo"},
        {"lf folded", "To: a@b\nSubject: one\n  two\n three\n\nbody\n", "a@b", "",
         "one  two three"},
        {"names ignore case, first wins", "sUbJeCt:first\r\nSUBJECT: second\r\n\r\n", "", "",
         "first"},
        {"blanks around value and name", "Subject  :   padded   \r\n\r\n", "", "", "padded"},
        {"no body and no final line end", "From: a@b\r\nSubject: s", "", "a@b", "s"},
        {"body lines are no headers", "Subject: s\r\n\r\nTo: not@header\r\n", "", "", "s"},
        {"junk line then continuation", "junk line\r\n continued\r\nTo: a@b\r\n\r\n", "a@b", "",
         ""},
        {"empty message", "", "", "", ""},
        {"starts with the empty line", "\r\nTo: a@b\r\n", "", "", ""},
    };
    for (const HeaderCase& c : cases) {
        auto message = Arrive("h.eml", c.message);
        EXPECT_EQ(Text(&IMessage::get_To, *message), c.to) << c.name;
        EXPECT_EQ(Text(&IMessage::get_From, *message), c.from) << c.name;
        EXPECT_EQ(Text(&IMessage::get_Subject, *message), c.subject) << c.name;
    }
}

TEST_F(CdoTest, ReadingFailsWithoutAReadableFile) {
    auto message = OpenMessage("C:\\mail\\absent.eml", {});
    std::string value = "old";
    EXPECT_TRUE(FAILED(message->get_To(value)));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(FAILED(message->get_HTMLBody(value)));
}

struct BodyCase {
    const char* name;
    const char* message;
    const char* html;
};

TEST_F(CdoTest, HtmlBodyIsTheHtmlPartOrThePlainTextAsHtml) {
    const BodyCase cases[] = {
        {"plain text escaped, lines as <br>", "Subject: s\r\n\r\na < b & \"c\" > d\r\nnext",
         "a &lt; b &amp; &quot;c&quot; &gt; d<br>\r\nnext"},
        {"plain text with LF", "Subject: s\n\none\ntwo\n", "one<br>\r\ntwo<br>\r\n"},
        {"single html part", "Content-Type: text/html\r\n\r\n<p>hi</p>", "<p>hi</p>"},
        {"alternative prefers html, quoted-printable decoded",
         "Content-Type: multipart/alternative; boundary=\"b1\"\r\n\r\n"
         "preamble\r\n--b1\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
         "--b1\r\nContent-Type: text/html; charset=windows-1252\r\n"
         "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
         "<p>caf=E9 =3D long=\r\n line</p>\r\n--b1--\r\nepilogue\r\n",
         "<p>caf\xE9 = long line</p>"},
        {"html part in base64 inside mixed",
         "Content-Type: multipart/mixed; boundary=outer\r\n\r\n"
         "--outer\r\nContent-Type: multipart/alternative; boundary=inner\r\n\r\n"
         "--inner\r\nContent-Type: text/plain\r\n\r\nplain\r\n"
         "--inner\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: base64\r\n\r\n"
         "PGI+Ym9sZDwv\r\nYj4=\r\n--inner--\r\n"
         "--outer\r\nContent-Type: text/html\r\nContent-Disposition: attachment\r\n\r\n"
         "<p>attached</p>\r\n--outer--\r\n",
         "<b>bold</b>"},
        {"alternative without html gives its plain part",
         "Content-Type: multipart/alternative; boundary=b\n\n--b\nContent-Type: "
         "text/plain\n\nx<y\n--b--\n",
         "x&lt;y"},
        {"attachment only",
         "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
         "Content-Disposition: attachment\r\n\r\nfile\r\n--b--\r\n",
         ""},
    };
    for (const BodyCase& c : cases) {
        EXPECT_EQ(Text(&IMessage::get_HTMLBody, *Arrive("b.eml", c.message)), c.html) << c.name;
    }
}

TEST_F(CdoTest, HostileMessagesAreReadWithinTheirBytes) {
    std::string deep;
    for (int i = 0; i < 200; ++i) {
        deep += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" +
                std::to_string(i) + "\r\n";
    }
    deep += "Content-Type: text/html\r\n\r\n<p>too deep</p>\r\n";
    std::string noise;
    std::mt19937 random(11);
    for (int i = 0; i < 20000; ++i) noise += static_cast<char>(random() % 4 == 0 ? '\n' : random());
    const std::pair<const char*, std::string> cases[] = {
        {"nesting beyond the depth limit", deep},
        {"random bytes", noise},
        {"unterminated quoted boundary", "Content-Type: multipart/mixed; boundary=\"abc"},
        {"empty boundary", "Content-Type: multipart/mixed; boundary=\"\"\r\n\r\n--\r\n\r\nx"},
        {"qp escape at the end", "Content-Transfer-Encoding: quoted-printable\r\n\r\nab=4"},
        {"NUL bytes", std::string("Subject: a\0b\r\n\r\n\0", 17)},
    };
    for (const auto& [name, content] : cases) {
        auto message = Arrive("x.eml", content);
        std::string value;
        EXPECT_EQ(message->get_HTMLBody(value), S_OK) << name;
        EXPECT_EQ(message->get_Subject(value), S_OK) << name;
        EXPECT_EQ(value.find('\n'), std::string::npos) << name;
    }
    std::string html;
    ASSERT_EQ(Arrive("d.eml", deep)->get_HTMLBody(html), S_OK);
    EXPECT_EQ(html, "");
}

// ---- Reply, Forward, Send ----

constexpr const char* kOriginal =
    "From: Alice <alice@example.org>\r\n"
    "To: bob@example.com\r\n"
    "Date: Wed, 9 Dec 2026 10:10:10 +0000\r\n"
    "Subject: Lunch\r\n"
    "\r\n"
    "See you <at> noon\r\n";

TEST_F(CdoTest, ReplyGoesToReplyToElseFromAndQuotesTheOriginal) {
    const std::pair<std::string, std::string> cases[] = {
        {kOriginal, "Alice <alice@example.org>"},
        {std::string("Reply-To: lists@example.org\r\n") + kOriginal, "lists@example.org"},
        {std::string("Reply-To:   \r\n") + kOriginal, "Alice <alice@example.org>"},
    };
    for (const auto& [content, to] : cases) {
        std::shared_ptr<IMessage> reply;
        ASSERT_EQ(Arrive("o.eml", content)->Reply(reply), S_OK);
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(Text(&IMessage::get_To, *reply), to);
        EXPECT_EQ(Text(&IMessage::get_From, *reply), "");
        EXPECT_EQ(Text(&IMessage::get_Subject, *reply), "RE: Lunch");
        const std::string body = Text(&IMessage::get_HTMLBody, *reply);
        EXPECT_NE(body.find("From: Alice &lt;alice@example.org&gt;<br>"), std::string::npos);
        EXPECT_TRUE(body.ends_with("See you &lt;at&gt; noon<br>\r\n")) << body;
    }
}

TEST_F(CdoTest, ForwardHasNoAddresseeAndQuotesTheOriginal) {
    std::shared_ptr<IMessage> forward;
    ASSERT_EQ(Arrive("o.eml", kOriginal)->Forward(forward), S_OK);
    EXPECT_EQ(Text(&IMessage::get_To, *forward), "");
    EXPECT_EQ(Text(&IMessage::get_Subject, *forward), "FW: Lunch");
    const std::string body = Text(&IMessage::get_HTMLBody, *forward);
    EXPECT_NE(body.find("Subject: Lunch<br>"), std::string::npos);
    EXPECT_TRUE(body.ends_with("See you &lt;at&gt; noon<br>\r\n"));
}

TEST_F(CdoTest, ReplyAndForwardOfAnUnreadableMessageGiveNone) {
    auto message = OpenMessage("C:\\mail\\absent.eml", {});
    std::shared_ptr<IMessage> made;
    EXPECT_TRUE(FAILED(message->Reply(made)));
    EXPECT_EQ(made, nullptr);
    EXPECT_TRUE(FAILED(message->Forward(made)));
    EXPECT_EQ(made, nullptr);
}

class CdoSendTest : public CdoTest {
  protected:
    // The SMTP service's virtual server with a pickup folder, as the component installs it.
    void InstallSmtpServer(bool withPickup) {
        std::shared_ptr<IIsObject> root, service, server;
        ASSERT_EQ(ADsGetObject("IIS://localhost", root), S_OK);
        ASSERT_EQ(root->Create("IIsSmtpService", "smtpsvc", service), S_OK);
        ASSERT_EQ(service->Create("IIsSmtpServer", "1", server), S_OK);
        ASSERT_EQ(server->Put("DefaultDomain", VARIANT("example.com")), S_OK);
        if (withPickup) {
            ASSERT_EQ(server->Put("PickupDirectory", VARIANT(kPickup)), S_OK);
            fs::create_directories(ToHostPath(kPickup));
        }
        ASSERT_EQ(server->SetInfo(), S_OK);
    }

    std::shared_ptr<IMessage> Notice(std::string_view to, std::string_view subject,
                                     std::string_view html) {
        auto message = CreateMessage();
        EXPECT_EQ(message->put_From("PostMaster@example.com"), S_OK);
        EXPECT_EQ(message->put_To(to), S_OK);
        EXPECT_EQ(message->put_Subject(subject), S_OK);
        EXPECT_EQ(message->put_HTMLBody(html), S_OK);
        return message;
    }

    static constexpr const char* kPickup = "C:\\Inetpub\\mailroot\\Pickup";
};

TEST_F(CdoSendTest, SendWritesOneWellFormedMessageIntoThePickupFolder) {
    InstallSmtpServer(true);
    const std::string html =
        "<p>caf\xE9 = " + std::string(120, 'x') + " </p>\r\n<p>.leading dot</p>\r\n";
    ASSERT_EQ(Notice("alice@example.org", "Delivery Status Notification (Failure)", html)->Send(),
              S_OK);

    const std::vector<std::string> names = FolderNames(ToHostPath(kPickup));
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].ends_with(".eml"));
    const std::string text = ReadHostFile(ToHostPath(kPickup) / names[0]);
    const std::size_t end = text.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    const std::string head = text.substr(0, end + 2);
    for (const char* line :
         {"\r\nFrom: PostMaster@example.com\r\n", "\r\nTo: alice@example.org\r\n",
          "\r\nSubject: Delivery Status Notification (Failure)\r\n", "\r\nMIME-Version: 1.0\r\n",
          "\r\nContent-Type: text/html; charset=windows-1252\r\n",
          "\r\nContent-Transfer-Encoding: quoted-printable\r\n"}) {
        EXPECT_NE(("\r\n" + head).find(line), std::string::npos) << line;
    }
    EXPECT_TRUE(head.starts_with("Date: "));
    EXPECT_NE(head.find("\r\nMessage-ID: <" + names[0].substr(0, names[0].size() - 4) +
                        "@example.com>\r\n"),
              std::string::npos);
    for (std::size_t pos = 0, next; pos < text.size(); pos = next + 2) {
        next = text.find("\r\n", pos);
        ASSERT_NE(next, std::string::npos) << "every line ends in CR LF";
        EXPECT_LE(next - pos, 78u);
        EXPECT_EQ(text.substr(pos, next - pos).find_first_of("\r\n"), std::string::npos);
    }

    // Read back, the file gives the same HTML body.
    auto sent = OpenMessage(ToWindowsPath(ToHostPath(kPickup) / names[0]), {});
    EXPECT_EQ(Text(&IMessage::get_HTMLBody, *sent), html);
    EXPECT_EQ(Text(&IMessage::get_To, *sent), "alice@example.org");
}

TEST_F(CdoSendTest, ValuesCannotAddHeaderLines) {
    InstallSmtpServer(true);
    ASSERT_EQ(Notice("a@example.org\r\nx-receiver: victim@example.net",
                     "Hi\nx-sender: forged@example.net \xE9t\xE9", "<p>x</p>")
                  ->Send(),
              S_OK);
    const std::vector<std::string> names = FolderNames(ToHostPath(kPickup));
    ASSERT_EQ(names.size(), 1u);
    const std::string text = ReadHostFile(ToHostPath(kPickup) / names[0]);
    EXPECT_EQ(text.find("\nx-receiver:"), std::string::npos);
    EXPECT_EQ(text.find("\nx-sender:"), std::string::npos);
    EXPECT_NE(text.find("Subject: =?windows-1252?Q?Hi_x-sender=3A_forged=40"), std::string::npos)
        << text;
    EXPECT_NE(text.find("=E9t=E9?="), std::string::npos) << text;
}

TEST_F(CdoSendTest, TheEnvelopeSenderLeadsThePickupFile) {
    InstallSmtpServer(true);
    const struct {
        const char* sender;  // nullptr: left unset
        const char* head;
    } cases[] = {{nullptr, "Date: "},
                 {"", "x-sender: <>\r\nDate: "},
                 {"bounces@example.com", "x-sender: <bounces@example.com>\r\nDate: "}};
    for (const auto& c : cases) {
        auto notice = Notice("a@example.org", "s", "x");
        if (c.sender) {
            ASSERT_EQ(notice->put_EnvelopeSender(c.sender), S_OK);
        }
        ASSERT_EQ(notice->Send(), S_OK);
        const fs::path folder = ToHostPath(kPickup);
        const std::vector<std::string> names = FolderNames(folder);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_TRUE(ReadHostFile(folder / names[0]).starts_with(c.head)) << c.head;
        fs::remove(folder / names[0]);
    }
    auto notice = Notice("a@example.org", "s", "x");
    for (const char* forged : {"a@example.org>\r\nx-receiver: <victim@example.net",
                               "a b@example.org", "<a@example.org>"}) {
        EXPECT_EQ(notice->put_EnvelopeSender(forged), E_INVALIDARG) << forged;
    }
}

TEST_F(CdoSendTest, SendFailsWithoutPickupFolderOrAddresses) {
    EXPECT_EQ(Notice("a@example.org", "s", "x")->Send(), CDO_E_INVALID_SEND_OPTION);
    InstallSmtpServer(false);
    EXPECT_EQ(Notice("a@example.org", "s", "x")->Send(), CDO_E_INVALID_SEND_OPTION);

    auto noSender = CreateMessage();
    ASSERT_EQ(noSender->put_To("a@example.org"), S_OK);
    EXPECT_EQ(noSender->Send(), CDO_E_FROM_MISSING);
    EXPECT_EQ(Notice("  ", "s", "x")->Send(), CDO_E_RECIPIENT_MISSING);
}

TEST_F(CdoSendTest, ForwardedNoticeReachesThePickupFolder) {
    InstallSmtpServer(true);
    std::shared_ptr<IMessage> notice;
    ASSERT_EQ(Arrive("o.eml", kOriginal)->Forward(notice), S_OK);
    ASSERT_EQ(notice->put_To("postmaster@example.com"), S_OK);
    ASSERT_EQ(notice->put_From("PostMaster@example.com"), S_OK);
    ASSERT_EQ(notice->Send(), S_OK);
    ASSERT_EQ(notice->Send(), S_OK);  // each Send is its own file
    EXPECT_EQ(FolderNames(ToHostPath(kPickup)).size(), 2u);
}

}  // namespace
