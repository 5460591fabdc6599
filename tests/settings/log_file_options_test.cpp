// The log options dialog opened from the General page's "Properties ..." button: the masks as
// box states in the tree and read back when it closes, clicks on event and field boxes, OK and
// Cancel, the boxes' painting, and the dialog's screenshots.
#include <gtest/gtest.h>

#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "common/settings_key.h"
#include "platform/help.h"
#include "platform/registry.h"
#include "platform/vcl.h"
#include "settings/node_check_box.h"
#include "settings_fixture.h"

namespace {

namespace value = vrel::settings_value;
using vrel::NodeCheckBox;
using vrel::TLogFileOptionsForm;

constexpr std::uint8_t U = vrel::kBoxUnchecked;
constexpr std::uint8_t P = vrel::kBoxPartial;
constexpr std::uint8_t C = vrel::kBoxChecked;

class LogFileOptionsTest : public vrel::test::PopDlgTest {
  protected:
    void SetUp() override {
        PopDlgTest::SetUp();
        ASSERT_TRUE(settings_.OpenKey(vrel::kSettingsKey, true));
    }

    // Stores the masks and switches logging on, which loads them into the dialog's fields.
    void LoadMasks(int login, int logout, int message) {
        settings_.WriteInteger(value::LoginEventLogOption, login);
        settings_.WriteInteger(value::LogoutEventLogOption, logout);
        settings_.WriteInteger(value::MessageEventLogOption, message);
        Form().LoggingCheckBox->setChecked(false);
        Form().LoggingCheckBox->click();
    }

    // Opens the dialog with the Properties button; the action works in it and returns the
    // modal result (mrNone: the result of the button it clicked).
    void OpenDialog(const std::function<int(TLogFileOptionsForm&)>& action) {
        vcl::ModalScript script;
        script.Then(
            [&action](QDialog& form) { return action(static_cast<TLogFileOptionsForm&>(form)); });
        QTest::mouseClick(Form().LogFilePropButton, Qt::LeftButton);
        ASSERT_EQ(script.Shown(), std::vector<std::string>{"LogFileOptionsForm"});
    }

    static QTreeWidgetItem* Event(TLogFileOptionsForm& dialog, int index) {
        return dialog.LogFileTreeView->topLevelItem(0)->child(index);
    }
    static NodeCheckBox& Box(QTreeWidgetItem* node) { return *vrel::BoxOf(node); }
    // The event's state, then its fields' states.
    static std::vector<std::uint8_t> States(QTreeWidgetItem* event) {
        std::vector<std::uint8_t> states{Box(event).GetState()};
        for (int i = 0; i < event->childCount(); ++i)
            states.push_back(Box(event->child(i)).GetState());
        return states;
    }
    static void Click(QTreeWidgetItem* node) {
        NodeCheckBox& box = Box(node);
        ASSERT_TRUE(box.isVisible());
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, 8));
    }
    static int ClickOk(TLogFileOptionsForm& dialog) {
        QTest::mouseClick(dialog.UpdateButton, Qt::LeftButton);
        return vcl::mrNone;
    }

    win::TRegistry settings_;
};

TEST_F(LogFileOptionsTest, ControlsHaveTheirNamesCaptionsHintsAndHelpContexts) {
    const struct {
        const char* name;
        QString caption;
        QString hint;
        int help;
    } controls[] = {
        {"Label1", "Select the Log File Options", "", 0},
        {"UpdateButton", "OK", "Close dialog and update list", 0},
        {"CancelButton", "Cancel", "Cancel with no changes", 0},
        {"HelpButton", "Help", "", 11020},
    };
    TLogFileOptionsForm& dialog = LogOptions();
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        auto* control = dialog.findChild<QWidget*>(c.name);
        ASSERT_NE(control, nullptr);
        const auto* label = qobject_cast<QLabel*>(control);
        const auto* button = qobject_cast<QPushButton*>(control);
        EXPECT_EQ(label ? label->text() : button->text(), c.caption);
        EXPECT_EQ(control->toolTip(), c.hint);
        EXPECT_EQ(vcl::HelpContextOf(*control), c.help);
    }
    EXPECT_NE(dialog.findChild<QFrame*>("Panel1"), nullptr);
    EXPECT_EQ(dialog.LogFileTreeView->parent(), dialog.Panel1);
    EXPECT_EQ(dialog.LogFileTreeView->objectName(), "LogFileTreeView");
    EXPECT_FALSE(dialog.UpdateButton->isEnabled());  // until the dialog is shown
    EXPECT_EQ(dialog.windowTitle(), "LogFile Options");
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(vcl::HelpContextOf(dialog), 11020);
}

TEST_F(LogFileOptionsTest, TreeListsEventsAndFieldsInTheirOrder) {
    LoadMasks(63, 63, 31);
    OpenDialog([](TLogFileOptionsForm& dialog) {
        QTreeWidget& tree = *dialog.LogFileTreeView;
        EXPECT_EQ(tree.topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree.topLevelItem(0);
        EXPECT_EQ(root->text(0), "Log File Options");
        EXPECT_EQ(vrel::BoxOf(root), nullptr);
        const std::vector<std::vector<QString>> expected = {
            {"Login Event", "Date/Time", "Event", "Username", "IP address", "Hostname",
             "Message Count"},
            {"Logout Event", "Date/Time", "Event", "Username", "IP address", "Hostname",
             "Message Count"},
            {"Message Event", "Date/Time", "Event", "IP address", "From: address",
             "Recipient List"}};
        EXPECT_EQ(root->childCount(), 3);
        for (int e = 0; e < 3; ++e) {
            std::vector<QString> texts{root->child(e)->text(0)};
            for (int f = 0; f < root->child(e)->childCount(); ++f) {
                texts.push_back(root->child(e)->child(f)->text(0));
            }
            EXPECT_EQ(texts, expected[static_cast<std::size_t>(e)]);
        }
        EXPECT_EQ(tree.currentItem(), root->child(0));
        EXPECT_TRUE(dialog.UpdateButton->isEnabled());
        EXPECT_EQ(dialog.windowTitle(), "LogFile Options");
        EXPECT_EQ(dialog.size(), QSize(292, 341));
        return vcl::mrCancel;
    });
}

struct MaskCase {
    const char* name;
    int login, message;
    std::vector<std::uint8_t> loginStates, messageStates;
    int loginAfter, messageAfter;
};

TEST_F(LogFileOptionsTest, MasksShowAsBoxStatesAndAreReadBackOnClose) {
    const std::vector<MaskCase> cases = {
        {"all", 63, 31, {C, C, C, C, C, C, C}, {C, C, C, C, C, C}, 63, 31},
        {"none", 0, 0, {U, U, U, U, U, U, U}, {U, U, U, U, U, U}, 0, 0},
        {"5 and 30", 5, 30, {P, C, U, C, U, U, U}, {P, U, C, C, C, C}, 5, 30},
        // Above the fields: the event shows checked with no field, and closing drops the bit.
        {"64", 64, 32, {C, U, U, U, U, U, U}, {C, U, U, U, U, U}, 0, 0},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.name);
        LoadMasks(c.login, 1, c.message);
        OpenDialog([&c](TLogFileOptionsForm& dialog) {
            EXPECT_EQ(States(Event(dialog, 0)), c.loginStates);
            EXPECT_EQ(States(Event(dialog, 1)), (std::vector<std::uint8_t>{P, C, U, U, U, U, U}));
            EXPECT_EQ(States(Event(dialog, 2)), c.messageStates);
            return ClickOk(dialog);
        });
        EXPECT_EQ(LogOptions().loginMask, c.loginAfter);
        EXPECT_EQ(LogOptions().logoutMask, 1);
        EXPECT_EQ(LogOptions().messageMask, c.messageAfter);
    }
}

TEST_F(LogFileOptionsTest, EventClicksSetEveryFieldAndFieldClicksSettleTheEvent) {
    LoadMasks(5, 0, 31);
    OpenDialog([](TLogFileOptionsForm& dialog) {
        QTreeWidgetItem* login = Event(dialog, 0);
        Click(login);  // partial: all off
        EXPECT_EQ(States(login), (std::vector<std::uint8_t>{U, U, U, U, U, U, U}));
        Click(login);  // unchecked: all on
        EXPECT_EQ(States(login), (std::vector<std::uint8_t>{C, C, C, C, C, C, C}));

        QTreeWidgetItem* logout = Event(dialog, 1);
        for (int f = 0; f < logout->childCount(); ++f) {
            Click(logout->child(f));
            const std::uint8_t expected = f + 1 == logout->childCount() ? C : P;
            EXPECT_EQ(Box(logout).GetState(), expected) << "after field " << f;
        }
        QTreeWidgetItem* message = Event(dialog, 2);
        for (int f = 0; f < message->childCount(); ++f) {
            Click(message->child(f));
            const std::uint8_t expected = f + 1 == message->childCount() ? U : P;
            EXPECT_EQ(Box(message).GetState(), expected) << "after field " << f;
        }
        Click(message->child(1));
        return ClickOk(dialog);
    });
    EXPECT_EQ(LogOptions().loginMask, 63);
    EXPECT_EQ(LogOptions().logoutMask, 63);
    EXPECT_EQ(LogOptions().messageMask, 2);
}

TEST_F(LogFileOptionsTest, OkMarksAChangeAndCancelReturnsToTheStoredMasks) {
    LoadMasks(63, 63, 31);
    Form().ApplyButton->setEnabled(false);
    {
        win::RegistryWriteRecorder writes;
        OpenDialog([](TLogFileOptionsForm& dialog) {
            Click(Event(dialog, 0));
            return ClickOk(dialog);
        });
        EXPECT_TRUE(writes.Writes().empty());
    }
    EXPECT_EQ(LogOptions().loginMask, 0);
    EXPECT_TRUE(Form().ApplyButton->isEnabled());

    // Cancel also discards the earlier OK that was never applied.
    Form().ApplyButton->setEnabled(false);
    OpenDialog([](TLogFileOptionsForm& dialog) {
        EXPECT_EQ(Box(Event(dialog, 0)).GetState(), U);
        Click(Event(dialog, 2));
        QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
        return vcl::mrNone;
    });
    EXPECT_EQ(LogOptions().loginMask, 63);
    EXPECT_EQ(LogOptions().messageMask, 31);
    EXPECT_FALSE(Form().ApplyButton->isEnabled());
}

TEST_F(LogFileOptionsTest, HelpButtonOpensItsOwnTopic) {
    LoadMasks(63, 63, 31);
    win::HelpRecorder help;
    OpenDialog([](TLogFileOptionsForm& dialog) {
        QTest::mouseClick(dialog.HelpButton, Qt::LeftButton);
        return vcl::mrCancel;
    });
    ASSERT_EQ(help.Requests().size(), 1u);
    EXPECT_EQ(help.Requests()[0].context, 11025);
    EXPECT_EQ(vcl::HelpContextOf(LogOptions()), 11020);
}

// The box's pixels: outlines, the partial state's silver, the check mark.
TEST_F(LogFileOptionsTest, BoxesArePaintedInTheirThreeStates) {
    LoadMasks(5, 63, 0);
    OpenDialog([](TLogFileOptionsForm& dialog) {
        const auto pixels = [](QTreeWidgetItem* node) { return Box(node).grab().toImage(); };
        const QImage partial = pixels(Event(dialog, 0));
        const QImage checked = pixels(Event(dialog, 1));
        const QImage unchecked = pixels(Event(dialog, 2));
        const QColor black(Qt::black), grey(128, 128, 128), silver(192, 192, 192);
        for (const QImage* image : {&partial, &checked, &unchecked}) {
            EXPECT_EQ(image->size(), QSize(16, 16));
            EXPECT_EQ(image->pixelColor(2, 12), black);  // black outline, left column
            EXPECT_EQ(image->pixelColor(13, 13), grey);  // grey outline, bottom right
            EXPECT_EQ(image->pixelColor(14, 8), grey);   // the outer grey's right column
        }
        EXPECT_EQ(partial.pixelColor(10, 4), silver);
        EXPECT_EQ(checked.pixelColor(10, 4), vcl::WindowColor());
        EXPECT_EQ(unchecked.pixelColor(10, 4), vcl::WindowColor());
        EXPECT_EQ(checked.pixelColor(5, 11), black);  // on the check mark
        EXPECT_EQ(partial.pixelColor(5, 11), black);
        EXPECT_EQ(unchecked.pixelColor(5, 11), vcl::WindowColor());
        return vcl::mrCancel;
    });
}

// Each box sits left of its node's text, on its row, clear of the text and of its neighbours.
void ExpectBoxesBesideTheirNodes(TLogFileOptionsForm& dialog) {
    QTreeWidget& tree = *dialog.LogFileTreeView;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        NodeCheckBox* box = vrel::BoxOf(*it);
        if (!box) continue;
        SCOPED_TRACE((*it)->text(0).toStdString());
        const QRect row = tree.visualItemRect(*it);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->geometry().top(), row.top());
        EXPECT_GE(box->geometry().left(), row.left());
        // In the blank state picture's slot, before the node's own picture.
        EXPECT_LE(box->geometry().right(), row.left() + 24);
    }
}

TEST_F(LogFileOptionsTest, ScreenshotWithAnEventPartlyChosen) {
    LoadMasks(5, 63, 30);
    OpenDialog([](TLogFileOptionsForm& dialog) {
        EXPECT_EQ(Box(Event(dialog, 0)).GetState(), P);
        EXPECT_EQ(Box(Event(dialog, 2)).GetState(), P);
        ExpectBoxesBesideTheirNodes(dialog);
        const QImage image =
            vrel::test::SaveScreenshot(dialog, "popsetup_LogFileOptionsForm-partial");
        EXPECT_EQ(image.size(), QSize(292, 341) * dialog.devicePixelRatio());
        return vcl::mrCancel;
    });
}

TEST_F(LogFileOptionsTest, ScreenshotWithEverythingChosen) {
    LoadMasks(63, 63, 31);
    OpenDialog([](TLogFileOptionsForm& dialog) {
        for (int e = 0; e < 3; ++e) {
            for (std::uint8_t state : States(Event(dialog, e))) EXPECT_EQ(state, C);
        }
        ExpectBoxesBesideTheirNodes(dialog);
        vrel::test::SaveScreenshot(dialog, "popsetup_LogFileOptionsForm-all");
        return vcl::mrCancel;
    });
}

}  // namespace
