// Service control with real service processes (testservice) on a scaled clock, and the
// progress bar drawn over the status list.
#include <gtest/gtest.h>

#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/scm.h"
#include "platform/vcl.h"
#include "settings/service_control.h"
#include "settings_fixture.h"
#include "test_services.h"

namespace vrel {
namespace {

constexpr const char* kService = "VrelTestService";

struct Pass {
    std::string service;
    std::uint32_t waitTime;
};

// Records each pass of a wait instead of drawing it, pausing as the bar would.
class ServiceControlTest : public test::ServiceTest {
  protected:
    void SetUp() override {
        SetServiceProgressDisplay([this](const std::string& service, std::uint32_t waitTime) {
            passes_.push_back({service, waitTime});
            win::Sleep(waitTime);
        });
    }
    void TearDown() override {
        SetServiceProgressDisplay({});
        test::ServiceTest::TearDown();
    }

    static void CreateTestService(const std::string& options) {
        ASSERT_TRUE(test::CreateTestService(kService, options, "Test Service"));
    }

    std::vector<Pass> passes_;
};

TEST_F(ServiceControlTest, AMissingServiceGivesFalseEverywhere) {
    EXPECT_FALSE(IsServiceInstalled(kService));
    EXPECT_FALSE(IsServiceRunning(kService));
    EXPECT_FALSE(StartServiceAndWait(kService));
    EXPECT_FALSE(StopServiceAndWait(kService));
    EXPECT_TRUE(passes_.empty());
}

TEST_F(ServiceControlTest, StartAndStopWaitThroughTheServicesWaitHints) {
    CreateTestService("-waithint:5000 -startdelay:3000 -stopdelay:3000");
    EXPECT_TRUE(IsServiceInstalled(kService));
    EXPECT_FALSE(IsServiceRunning(kService));

    EXPECT_TRUE(StartServiceAndWait(kService));
    EXPECT_TRUE(IsServiceRunning(kService));
    ASSERT_GE(passes_.size(), 2u);
    EXPECT_EQ(passes_.front().waitTime, 0u) << "the first pass uses the stopped service's record";
    EXPECT_EQ(passes_.back().waitTime, 5000u);
    for (const Pass& pass : passes_) EXPECT_EQ(pass.service, kService);

    passes_.clear();
    EXPECT_TRUE(StopServiceAndWait(kService));
    EXPECT_EQ(test::ServiceState(kService), win::SERVICE_STOPPED);
    ASSERT_FALSE(passes_.empty());
    EXPECT_EQ(passes_.front().waitTime, 5000u);
}

TEST_F(ServiceControlTest, StartOfARunningAndStopOfAStoppedServiceAreTrueAtOnce) {
    CreateTestService("-waithint:5000");
    EXPECT_TRUE(StopServiceAndWait(kService));
    test::ControlService(kService, true);
    EXPECT_TRUE(StartServiceAndWait(kService));
    EXPECT_TRUE(passes_.empty()) << "no wait and no bar";
}

TEST_F(ServiceControlTest, AServiceStayingPendingWithWaitHintZeroIsGivenUpAfterTheLimit) {
    CreateTestService("-waithint:0 -startdelay:forever");
    const std::uint32_t before = win::GetTickCount();
    EXPECT_FALSE(StartServiceAndWait(kService));
    const std::uint32_t spent = win::GetTickCount() - before;
    EXPECT_GT(spent, 30000u);
    // The room is two host seconds at this clock, for a loaded machine; twice the limit
    // would still be far beyond it.
    EXPECT_LT(spent, 30000u + 20000u) << "not much later";
    const auto unpaused = std::count_if(passes_.begin(), passes_.end(),
                                        [](const Pass& pass) { return pass.waitTime == 0; });
    EXPECT_GT(unpaused, 10) << "polled without pause once the service reports its hint of 0";
    EXPECT_EQ(test::ServiceState(kService), win::SERVICE_START_PENDING);
}

TEST_F(ServiceControlTest, AServiceThatNeverStopsIsGivenUpAfterTheLimitPlusOneWaitHint) {
    CreateTestService("-waithint:2000 -stop:ignore");
    test::ControlService(kService, true);
    const std::uint32_t before = win::GetTickCount();
    EXPECT_FALSE(StopServiceAndWait(kService));
    const std::uint32_t spent = win::GetTickCount() - before;
    EXPECT_GT(spent, 30000u);
    EXPECT_LT(spent, 30000u + 2000u + 20000u) << "not much later";
}

TEST_F(ServiceControlTest, AStopUnderWayThatEndsDuringTheSleepGivesFalse) {
    CreateTestService("-waithint:1000 -stopdelay:1500");
    test::ControlService(kService, true);
    const win::SC_HANDLE manager = win::OpenSCManager(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
    win::SERVICE_STATUS status;
    ASSERT_TRUE(win::ControlService(win::OpenService(manager, kService, win::SERVICE_ALL_ACCESS),
                                    win::SERVICE_CONTROL_STOP, status));
    ASSERT_EQ(status.dwCurrentState, win::SERVICE_STOP_PENDING);
    EXPECT_FALSE(StopServiceAndWait(kService)) << "the second stop request is refused";
    EXPECT_EQ(test::ServiceState(kService), win::SERVICE_STOPPED);
    EXPECT_TRUE(passes_.empty()) << "the sleep of a stop under way draws no bar";
}

// The frame over the form's list box (width 201, item height 18).
class ProgressFrameTest : public ::testing::Test {
  protected:
    void SetUp() override { test::Application(); }

    QImage Frame(int row, std::int32_t& offset) {
        QImage image(201, 45, QImage::Format_RGB32);
        image.fill(QColor(0, 255, 0));
        QPainter canvas(&image);
        DrawProgressFrame(canvas, 201, 18, row, offset);
        return image;
    }
};

QColor At(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

TEST_F(ProgressFrameTest, AFrameIsABlackBoxWithASilverShadowAndASegmentedBlueBar) {
    std::int32_t offset = 60;
    const QImage image = Frame(0, offset);
    EXPECT_EQ(offset, 64);
    const QColor black(0, 0, 0), silver(192, 192, 192), white(255, 255, 255), blue(0, 0, 255),
        untouched(0, 255, 0);
    // Row 0: L 30, T 1, R 191, B 17; the black box covers x 30..189, y 1..15.
    EXPECT_EQ(At(image, 30, 8), black);
    EXPECT_EQ(At(image, 189, 8), black);
    EXPECT_EQ(At(image, 100, 1), black);
    EXPECT_EQ(At(image, 100, 15), black);
    EXPECT_EQ(At(image, 190, 8), silver);
    EXPECT_EQ(At(image, 100, 16), silver);
    EXPECT_EQ(At(image, 191, 8), untouched);
    EXPECT_EQ(At(image, 100, 17), untouched);
    EXPECT_EQ(At(image, 29, 8), untouched);
    // The bar runs from 58 to 92 (excluded), rows 3..13, cut at 68..69 and 80..81.
    const std::pair<int, QColor> columns[] = {{57, white}, {58, blue}, {67, blue}, {68, white},
                                              {69, white}, {70, blue}, {79, blue}, {80, white},
                                              {82, blue},  {91, blue}, {92, white}};
    for (const auto& [x, color] : columns) {
        EXPECT_EQ(At(image, x, 3), color) << x;
        EXPECT_EQ(At(image, x, 13), color) << x;
    }
    EXPECT_EQ(At(image, 58, 2), white);
    EXPECT_EQ(At(image, 58, 14), white);
}

TEST_F(ProgressFrameTest, TheBarEntersAtTheLeftAndLeavesAtTheRightOfRowOne) {
    std::int32_t offset = 8;  // 12 after the step: x1 = L + 2, x2 = L + 10
    QImage image = Frame(1, offset);
    EXPECT_EQ(At(image, 32, 21), QColor(0, 0, 255));  // T 19 + 2
    EXPECT_EQ(At(image, 39, 31), QColor(0, 0, 255));  // B 35 - 4
    EXPECT_EQ(At(image, 40, 21), QColor(255, 255, 255));
    offset = 180;  // 184: x1 = L + 148 = 178; L + 184 > R, so x2 = R - 2 = 189
    image = Frame(1, offset);
    EXPECT_EQ(At(image, 177, 25), QColor(255, 255, 255));
    EXPECT_EQ(At(image, 178, 25), QColor(0, 0, 255));
    EXPECT_EQ(At(image, 187, 25), QColor(0, 0, 255));
    EXPECT_EQ(At(image, 188, 25), QColor(255, 255, 255)) << "the cut at x1 + 10";
}

TEST_F(ProgressFrameTest, TheOffsetWrapsToFourOnceItExceeds195) {
    const std::pair<std::int32_t, std::int32_t> steps[] = {
        {0, 4}, {187, 191}, {191, 195}, {192, 4}};
    for (const auto& [before, after] : steps) {
        std::int32_t offset = before;
        Frame(0, offset);
        EXPECT_EQ(offset, after) << before;
    }
}

TEST_F(ProgressFrameTest, TheSmtpServiceIsRowZeroInAnyCase) {
    for (const char* name : {"SMTPSVC", "SmtpSvc", "smtpsvc"}) EXPECT_EQ(ProgressRow(name), 0);
    EXPECT_EQ(ProgressRow("vrelP3Service"), 1);
}

class ProgressDisplayTest : public test::MachineTest {
  protected:
    void SetUp() override {
        test::Application();
        list_ = std::make_unique<vcl::TOwnerDrawListBox>();
        list_->resize(201, 45);
        list_->AddItem("SMTP Service (Running)");
        list_->AddItem("POP3 Service (Stopped)");
        list_->show();
        list_->SetItemIndex(1);
    }
    std::unique_ptr<vcl::TOwnerDrawListBox> list_;
};

TEST_F(ProgressDisplayTest, WholeFramesOfAHundredMillisecondsRoundedUp) {
    const std::pair<std::uint32_t, std::int32_t> waits[] = {{250, 12}, {100, 4}, {0, 0}, {1, 4}};
    for (const auto& [waitTime, advance] : waits) {
        std::int32_t offset = 0;
        DrawServiceProgress(*list_, offset, "vrelP3Service", waitTime);
        EXPECT_EQ(offset, advance) << waitTime;
    }
}

TEST_F(ProgressDisplayTest, TheBarClearsTheSelectionStaysUntilTheRowsChangeAndContinues) {
    std::int32_t offset = 0;
    DrawServiceProgress(*list_, offset, "SMTPSVC", 0);
    EXPECT_EQ(list_->ItemIndex(), -1) << "even a wait of 0 clears the selection";
    DrawServiceProgress(*list_, offset, "SMTPSVC", 300);
    DrawServiceProgress(*list_, offset, "SMTPSVC", 200);
    EXPECT_EQ(offset, 20) << "a second wait continues the bar";
    const QImage shown = list_->viewport()->grab().toImage();
    EXPECT_EQ(shown.pixelColor(32, 5), QColor(0, 0, 255)) << "the last frame stays on screen";
    EXPECT_EQ(shown.pixelColor(30, 20), shown.pixelColor(150, 30)) << "row 1 is not drawn over";
    list_->clear();
    list_->AddItem("SMTP Service (Stopped)");
    EXPECT_FALSE(list_->HasOverlay());
}

}  // namespace
}  // namespace vrel
