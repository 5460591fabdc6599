// The message list: reading numbers from client arguments, and building the list from the
// files of a mailbox folder.
#include "service/message_list.h"

#include <gtest/gtest.h>

#include <map>

#include "mailbox_fixture.h"

namespace {

using vrel::MsgRecord;
using vrel::ScanDecimal;
using vrel::TMyServerThread;

struct NumberCase {
    const char* text;
    std::optional<std::int64_t> value;
    const char* rest;  // what is left after the number
};

class ScanDecimalTest : public testing::TestWithParam<NumberCase> {};

TEST_P(ScanDecimalTest, ReadsAsTheRuntimeScannerDoes) {
    std::string_view text = GetParam().text;
    EXPECT_EQ(ScanDecimal(text), GetParam().value);
    EXPECT_EQ(text, GetParam().rest);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Texts, ScanDecimalTest, testing::Values(
    NumberCase{"7", 7, ""},
    NumberCase{"  \t12 5", 12, " 5"},
    NumberCase{"+3x", 3, "x"},
    NumberCase{"-4", -4, ""},
    NumberCase{"0", 0, ""},
    NumberCase{"abc", std::nullopt, "abc"},
    NumberCase{"", std::nullopt, ""},
    NumberCase{"-", std::nullopt, "-"},
    NumberCase{"- 1", std::nullopt, "- 1"},
    NumberCase{"4294967297", 4294967297, ""},
    NumberCase{"99999999999999999999999999", std::int64_t{1} << 40, ""}));
// clang-format on

TEST(MessageNumberTest, WithoutDigitsTheNumberIsZeroAndNamesNoMessage) {
    vrel::MessageList list(2);
    EXPECT_EQ(vrel::MessageNumber("x1"), 0);
    EXPECT_EQ(vrel::MessageNumber(" 2 junk"), 2);
    EXPECT_EQ(vrel::MessageAt(list, 0), nullptr);
    EXPECT_EQ(vrel::MessageAt(list, 1), &list[0]);
    EXPECT_EQ(vrel::MessageAt(list, 2), &list[1]);
    EXPECT_EQ(vrel::MessageAt(list, 3), nullptr);
    EXPECT_EQ(vrel::MessageAt(list, 4294967297), nullptr);
}

class GetMessagesTest : public vrel::test::MailboxTest {};

TEST_F(GetMessagesTest, OneRecordPerMessageFileInSearchOrder) {
    Store("261209101010001000000001.eml", "12345");
    Store("a.b.eml", "123");
    Store("LockFile.$$$", "");
    Store("notes.txt", "x");
    std::filesystem::create_directories(Host("folder.eml"));
    octets_ = 0;
    EXPECT_EQ(TMyServerThread::GetMessages("C:\\mail\\BOB\\", list_, octets_), 3);

    std::map<std::string, MsgRecord> byUid;
    for (std::size_t i = 0; i < list_.size(); ++i) {
        EXPECT_EQ(list_[i].number, static_cast<std::int32_t>(i + 1));
        EXPECT_FALSE(list_[i].deleted);
        byUid[list_[i].uid] = list_[i];
    }
    ASSERT_EQ(byUid.size(), 3u);
    EXPECT_EQ(byUid["261209101010001000000001"].size, 5);
    EXPECT_EQ(byUid["261209101010001000000001"].path,
              "C:\\mail\\BOB\\261209101010001000000001.eml");
    EXPECT_EQ(byUid["a.b"].size, 3);  // the unique id keeps every dot but the last
    EXPECT_EQ(byUid["a.b"].path, "C:\\mail\\BOB\\a.b.eml");
    EXPECT_TRUE(byUid.count("folder"));  // the search takes every kind of entry
    EXPECT_EQ(octets_, 8 + byUid["folder"].size);
}

TEST_F(GetMessagesTest, FolderWithoutTrailingSeparatorGivesTheSamePaths) {
    Store("m.eml", "x");
    Build();
    ASSERT_EQ(list_.size(), 1u);
    EXPECT_EQ(list_[0].path, "C:\\Mail\\bob\\m.eml");
}

TEST_F(GetMessagesTest, AFileBeyondThe32BitSizesIsLeftOut) {
    Store("huge.eml", "");
    std::filesystem::resize_file(Host("huge.eml"), std::uintmax_t{1} << 31);  // sparse
    Store("small.eml", "x");
    Build();
    ASSERT_EQ(list_.size(), 1u);
    EXPECT_EQ(list_[0].uid, "small");
    EXPECT_EQ(octets_, 1);
}

TEST_F(GetMessagesTest, EmptyOrMissingFolderGivesNoRecords) {
    EXPECT_EQ(TMyServerThread::GetMessages("C:\\Mail\\nobody", list_, octets_), 0);
    std::filesystem::create_directories(Host(""));
    EXPECT_EQ(TMyServerThread::GetMessages(kFolder, list_, octets_), 0);
    EXPECT_EQ(octets_, 0);
}

}  // namespace
