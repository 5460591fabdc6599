// Tests of the SMTP service stand-in's queue folder: what a commit makes durable and in which
// order, and what Recover takes up and removes after a crash.
#include "smtp_queue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "smtpsvc_fixture.h"
#include "sync_watch.h"

namespace smtpsvc {
namespace {

namespace fs = std::filesystem;
using vrel::test::ReadFile;

class QueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::path(::testing::TempDir()) / ("queue-" + std::to_string(::getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    fs::path folder_;
};

// A message is acknowledged once Commit returns, so a power failure after it keeps both
// files: the text is synced before it has its name and before the envelope has its own, and
// one folder sync then keeps both names.
TEST_F(QueueTest, ACommitSyncsTheTextThenTheEnvelopeThenTheFolder) {
    const MessageQueue queue(folder_);
    for (const std::string watched : {".env", ".eml"}) {
        const std::unique_ptr<NewQueueMessage> message = queue.NewMessage();
        ASSERT_TRUE(message);
        ASSERT_TRUE(message->Append("Subject: s\r\n\r\n"));
        ASSERT_TRUE(message->Append("body\r\n"));
        const std::string id = message->Id();
        std::vector<vrel::test::SyncWatch::Sync> syncs;
        {
            const vrel::test::SyncWatch watch(folder_, folder_ / (id + watched));
            ASSERT_TRUE(message->Commit(win::MakeSmtpEnvelope("SMTP:b@x.test;", "a@y.test", "")));
            syncs = watch.Syncs();
        }
        ASSERT_EQ(syncs.size(), 3u) << watched;
        EXPECT_TRUE(syncs[0].path.filename().string().starts_with("." + id + ".eml."));
        EXPECT_FALSE(syncs[0].placed) << watched << " in place before the text is synced";
        EXPECT_TRUE(syncs[1].path.filename().string().starts_with("." + id + ".env."));
        EXPECT_EQ(syncs[1].placed, watched == ".eml") << watched;
        EXPECT_EQ(syncs[2].path, fs::canonical(folder_));
        EXPECT_TRUE(syncs[2].placed);
        EXPECT_EQ(ReadFile(queue.MessageFile(id)), "Subject: s\r\n\r\nbody\r\n");
        QueueEntry entry;
        EXPECT_TRUE(queue.Load(id, entry));
    }
}

TEST_F(QueueTest, AMessageNotCommittedLeavesNothing) {
    const MessageQueue queue(folder_);
    {
        const std::unique_ptr<NewQueueMessage> message = queue.NewMessage();
        ASSERT_TRUE(message->Append(std::string(100000, 'x')));
        EXPECT_EQ(Entries().size(), 1u);
    }
    EXPECT_TRUE(Entries().empty());
}

// What a crash can leave before a commit completes is removed; a committed message is taken
// up again.
TEST_F(QueueTest, RecoverTakesUpCommittedMessagesAndRemovesLeftovers) {
    const MessageQueue queue(folder_);
    const std::unique_ptr<NewQueueMessage> kept = queue.NewMessage();
    ASSERT_TRUE(kept->Append("kept\r\n"));
    ASSERT_TRUE(kept->Commit(win::MakeSmtpEnvelope("SMTP:b@x.test;", "a@y.test", "")));
    std::ofstream(folder_ / ".1796895206915000000000001.eml.AbCdEf") << "half";
    std::ofstream(folder_ / "1796895206915000000000002.eml") << "text without envelope";
    fs::copy_file(folder_ / (kept->Id() + ".env"), folder_ / "1796895206915000000000003.env");
    EXPECT_EQ(queue.Recover(), std::vector<std::string>{kept->Id()});
    EXPECT_EQ(Entries(), (std::set<std::string>{kept->Id() + ".eml", kept->Id() + ".env"}));
}

}  // namespace
}  // namespace smtpsvc
