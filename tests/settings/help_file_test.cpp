// The help file shipped beside the programs has a topic for every help context and topic name
// the settings windows ask for, and the viewer shows it.
#include <gtest/gtest.h>

#include <QTextBrowser>
#include <set>
#include <string>

#include "platform/help.h"
#include "platform/paths.h"
#include "platform/vcl.h"
#include "settings_fixture.h"

namespace vrel {
namespace {

// The contexts of the windows and dialogs, also those that later pages and dialogs use.
constexpr int kContexts[] = {10000, 10311, 11000, 11010, 11020, 11025, 11030, 11040,
                             11050, 12000, 12010, 12020, 12030, 12040, 12050, 13000,
                             13010, 13020, 13030, 13040, 13050, 13060, 13070, 13080,
                             14000, 14010, 14020, 14030, 14040, 14050, 14099, 15000};
// The topics the pickers' and options' Help buttons jump to.
constexpr const char* kTopics[] = {"AddAliases",      "UA_Authentication", "UA_PostMaster",
                                   "UA_UserAccounts", "UA_UsersGroup",     "AliasesOptions"};

std::string ShippedHelpFile() {
    return win::ToWindowsPath(test::BinFolder() / "DUDARAV3.AVE");
}

class HelpFileTest : public test::PopDlgTest {};

TEST_F(HelpFileTest, EveryContextAndTopicHasAUsefulTopic) {
    const auto topics = win::ReadHelpFile(ShippedHelpFile());
    ASSERT_TRUE(topics) << ShippedHelpFile();
    std::set<int> contexts(std::begin(kContexts), std::end(kContexts));
    for (const QWidget* widget : Form().findChildren<QWidget*>()) {
        if (const int context = vcl::HelpContextOf(*widget)) contexts.insert(context);
    }
    contexts.insert(vcl::HelpContextOf(Form()));
    for (const int context : contexts) {
        const win::HelpTopic* topic = win::FindHelpTopic(*topics, {{}, context, {}});
        ASSERT_NE(topic, nullptr) << context;
        EXPECT_GT(topic->body.size(), 40u) << context;
    }
    for (const char* name : kTopics) {
        const win::HelpTopic* topic = win::FindHelpTopic(*topics, {{}, 0, name});
        ASSERT_NE(topic, nullptr) << name;
        EXPECT_GT(topic->body.size(), 40u) << name;
    }
}

TEST_F(HelpFileTest, TheViewerShowsTheTopicOrSaysWhatIsMissing) {
    vcl::InstallHelp(test::Application());
    win::SetHelpFile(ShippedHelpFile());
    const auto viewer = [] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* browser = qobject_cast<QTextBrowser*>(window)) return browser;
        }
        return static_cast<QTextBrowser*>(nullptr);
    };
    EXPECT_TRUE(win::HelpContext(11040));
    ASSERT_NE(viewer(), nullptr);
    EXPECT_EQ(viewer()->windowTitle(), "Server Status");
    EXPECT_TRUE(viewer()->toPlainText().contains("Not Complete"));
    win::HelpJump("UA_PostMaster");
    EXPECT_EQ(viewer()->windowTitle(), "UA_PostMaster");
    win::HelpContext(99999);
    EXPECT_TRUE(viewer()->toPlainText().contains("has no topic 99999"));
    win::SetHelpFile("C:\\WINDOWS\\Help\\missing.ave");
    win::HelpContext(11040);
    EXPECT_TRUE(viewer()->toPlainText().contains("Cannot find the help file"));
    viewer()->close();
    win::SetHelpPresenter({});
}

}  // namespace
}  // namespace vrel
