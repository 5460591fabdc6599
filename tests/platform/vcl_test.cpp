// The window helpers over Qt, off-screen: GDI drawing pixel by pixel, the exception guard,
// the hourglass, scripted modal forms, the radio group, the owner-drawn list box, the help
// key, the folder chooser and the forms' font.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/dialogs.h"
#include "platform/folder_dialog.h"
#include "platform/help.h"
#include "platform/qt_gui.h"
#include "platform/vcl.h"

// Fontconfig keeps its caches past exit; nothing of the suite's own is left out.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

QApplication& Application() {
    static int argc = 1;
    static char name[] = "platform_gui_tests";
    static char* argv[] = {name, nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: Qt's own statics (the test input devices) go first at exit.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

class VclTest : public ::testing::Test {
  protected:
    void SetUp() override { Application(); }
};

const QColor kBackground(0, 255, 0);
const QColor kPen(255, 0, 0);
const QColor kBrush(0, 0, 255);

QImage Canvas() {
    QImage image(12, 12, QImage::Format_RGB32);
    image.fill(kBackground);
    return image;
}

TEST_F(VclTest, ARectangleLeavesOutItsRightColumnAndBottomRow) {
    QImage image = Canvas();
    {
        QPainter canvas(&image);
        canvas.setPen(kPen);
        canvas.setBrush(kBrush);
        vcl::Rectangle(canvas, 2, 3, 7, 9);  // outline x 2..6, y 3..8
    }
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 2 && x <= 6 && y >= 3 && y <= 8;
            const bool edge = inside && (x == 2 || x == 6 || y == 3 || y == 8);
            const QColor expected = edge ? kPen : inside ? kBrush : kBackground;
            ASSERT_EQ(image.pixelColor(x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(VclTest, NoPenOrNoBrushDrawsNothingOfThatPart) {
    QImage image = Canvas();
    {
        QPainter canvas(&image);
        canvas.setPen(Qt::NoPen);
        canvas.setBrush(kBrush);
        vcl::Rectangle(canvas, 1, 1, 4, 4);
        canvas.setPen(kPen);
        canvas.setBrush(Qt::NoBrush);
        vcl::Rectangle(canvas, 6, 6, 11, 11);
        vcl::FillRect(canvas, 0, 10, 3, 12, kPen);
    }
    EXPECT_EQ(image.pixelColor(1, 1), kBrush);
    EXPECT_EQ(image.pixelColor(3, 3), kBrush);
    EXPECT_EQ(image.pixelColor(4, 4), kBackground);
    EXPECT_EQ(image.pixelColor(6, 6), kPen);
    EXPECT_EQ(image.pixelColor(8, 8), kBackground);
    EXPECT_EQ(image.pixelColor(10, 10), kPen);
    EXPECT_EQ(image.pixelColor(2, 11), kPen);
    EXPECT_EQ(image.pixelColor(3, 11), kBackground);
}

TEST_F(VclTest, APolylineLeavesOutItsLastPointOnly) {
    QImage image = Canvas();
    {
        QPainter canvas(&image);
        canvas.setPen(kPen);
        vcl::Polyline(canvas, {{1, 1}, {5, 1}, {5, 4}, {2, 7}});
    }
    for (const QPoint drawn : {QPoint(1, 1), QPoint(4, 1), QPoint(5, 1), QPoint(5, 3), QPoint(5, 4),
                               QPoint(4, 5), QPoint(3, 6)}) {
        EXPECT_EQ(image.pixelColor(drawn), kPen) << drawn.x() << "," << drawn.y();
    }
    EXPECT_EQ(image.pixelColor(2, 7), kBackground);
    EXPECT_EQ(image.pixelColor(0, 1), kBackground);
}

TEST_F(VclTest, AnEscapingExceptionBecomesTheApplicationsErrorBox) {
    win::SetApplicationTitle("Vrel POP3 Server");
    win::MessageBoxScript boxes;
    bool after = false;
    vcl::Guarded([] { throw std::runtime_error("Disk full"); });
    vcl::Guarded([] { throw std::runtime_error("Invalid data type for 'Port'"); });
    vcl::Guarded([&after] { after = true; });
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, "Disk full.");
    EXPECT_EQ(boxes.Shown()[0].caption, "Vrel POP3 Server");
    EXPECT_EQ(boxes.Shown()[0].icon, win::MB_ICONERROR);
    EXPECT_EQ(boxes.Shown()[0].buttons, std::vector<int>{win::IDOK});
    EXPECT_EQ(boxes.Shown()[1].text, "Invalid data type for 'Port'")
        << "a text ending in a character before '.' gets no full stop";
    EXPECT_TRUE(after);
}

TEST_F(VclTest, TheHourglassIsRestoredOnEveryWayOut) {
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    try {
        const vcl::THourGlass hourglass;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        throw std::runtime_error("out");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A form whose show handler fills its edit, as a form's OnShow does.
class ShowingForm : public QDialog {
  public:
    ShowingForm() {
        setObjectName("ShowingForm");
        edit = new QLineEdit(this);
    }
    QLineEdit* edit;

  protected:
    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        edit->setText("shown");
    }
};

TEST_F(VclTest, AScriptActsOnTheFormAfterItsShowHandler) {
    ShowingForm form;
    std::vector<std::string> failures;
    vcl::ModalScript script([&failures](const std::string& name) { failures.push_back(name); });
    script.Then([](QDialog& shown) {
        EXPECT_EQ(static_cast<ShowingForm&>(shown).edit->text(), "shown");
        return vcl::mrOk;
    });
    script.Then([](QDialog& shown) {
        vcl::EndModal(shown, vcl::mrCancel);
        return vcl::mrNone;
    });
    EXPECT_EQ(vcl::ShowModal(form), vcl::mrOk);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(vcl::ShowModal(form), vcl::mrCancel) << "the form's own result";
    EXPECT_EQ(vcl::ShowModal(form), vcl::mrCancel) << "unscripted";
    EXPECT_EQ(script.Shown(),
              (std::vector<std::string>{"ShowingForm", "ShowingForm", "ShowingForm"}));
    EXPECT_EQ(failures, std::vector<std::string>{"ShowingForm"});
}

TEST_F(VclTest, AModalFormWithoutAnyScriptOffscreenFailsInsteadOfHanging) {
    std::vector<std::string> failures;
    vcl::ModalScript::SetDefaultFailure(
        [&failures](const std::string& name) { failures.push_back(name); });
    ShowingForm form;
    EXPECT_EQ(vcl::ShowModal(form), vcl::mrCancel);
    EXPECT_EQ(failures, std::vector<std::string>{"ShowingForm"});
    vcl::ModalScript::SetDefaultFailure({});
}

TEST_F(VclTest, TheRadioGroupClicksWheneverItsIndexChanges) {
    vcl::TRadioGroup group;
    group.setObjectName("Group");
    group.SetItems({"Local Computer", "NT Domain"});
    int clicks = 0;
    group.OnClick = [&clicks] { ++clicks; };
    EXPECT_EQ(group.ItemIndex(), -1);
    EXPECT_EQ(group.Items(), (QStringList{"Local Computer", "NT Domain"}));
    group.SetItemIndex(1);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(group.Button(1)->isChecked());
    group.SetItemIndex(1);
    EXPECT_EQ(clicks, 1) << "no change, no click";
    group.show();
    QTest::mouseClick(group.Button(0), Qt::LeftButton);
    EXPECT_EQ(group.ItemIndex(), 0);
    EXPECT_EQ(clicks, 2);
    group.SetItemIndex(-1);
    EXPECT_EQ(clicks, 3);
    EXPECT_FALSE(group.Button(0)->isChecked());
    EXPECT_FALSE(group.Button(1)->isChecked());
}

TEST_F(VclTest, TheOwnerDrawsEveryRowAndTheOverlayLastsUntilTheRowsChange) {
    vcl::TOwnerDrawListBox list;
    list.resize(201, 45);
    list.AddItem("first");
    list.AddItem("second");
    std::vector<std::pair<int, QRect>> drawn;
    bool selectedDrawn = false;
    list.OnDrawItem = [&](int index, const QRect& rect, QStyle::State state, QPainter& canvas) {
        drawn.emplace_back(index, rect);
        if (state & QStyle::State_Selected) selectedDrawn = index == 1;
        canvas.fillRect(rect, canvas.brush());
    };
    list.SetItemIndex(1);
    list.show();
    list.grab();
    ASSERT_GE(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].second.height(), 18);
    EXPECT_EQ(drawn[1].second.top(), 18);
    EXPECT_TRUE(selectedDrawn);

    list.Canvas().fillRect(QRect(30, 1, 10, 10), Qt::blue);
    list.ShowCanvasNow();
    EXPECT_EQ(list.viewport()->grab().toImage().pixelColor(35, 5), QColor(Qt::blue));
    list.viewport()->repaint();
    EXPECT_EQ(list.viewport()->grab().toImage().pixelColor(35, 5), QColor(Qt::blue))
        << "an ordinary repaint keeps it";
    list.AddItem("third");
    EXPECT_FALSE(list.HasOverlay());
    EXPECT_NE(list.viewport()->grab().toImage().pixelColor(35, 5), QColor(Qt::blue));
}

TEST_F(VclTest, F1AsksForTheNearestHelpContextOfTheFocusedControl) {
    vcl::InstallHelp(Application());
    QDialog form;
    vcl::SetHelpContext(form, 10000);
    QWidget page(&form);
    vcl::SetHelpContext(page, 11000);
    QLineEdit plain(&page);
    QLineEdit own(&page);
    vcl::SetHelpContext(own, 11010);
    form.show();
    QApplication::setActiveWindow(&form);
    const win::HelpRecorder recorder;
    plain.setFocus();
    QTest::keyClick(&plain, Qt::Key_F1);
    own.setFocus();
    QTest::keyClick(&own, Qt::Key_F1);
    ASSERT_EQ(recorder.Requests().size(), 2u);
    EXPECT_EQ(recorder.Requests()[0].context, 11000);
    EXPECT_EQ(recorder.Requests()[1].context, 11010);
    EXPECT_EQ(vcl::NearestHelpContext(nullptr), 0);
    win::SetHelpPresenter({});
}

TEST_F(VclTest, TheFolderPickedComesBackAsItsWindowsPathInWindows1252) {
    // "\xC3\xA9" is the 1252 name "Ã©" and also valid UTF-8 ("é"): it must not be converted
    // twice.
    const std::filesystem::path parent =
        std::filesystem::temp_directory_path() / ("vrel-folder-" + std::to_string(::getpid()));
    const std::filesystem::path folder = parent / "\xC3\x83\xC2\xA9";
    std::filesystem::create_directories(folder);
    win::InstallQtFolderDialog();
    QTimer::singleShot(0, [&folder] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(folder.string()));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    std::string expected = "Z:" + parent.string() + "/\xC3\xA9";
    std::replace(expected.begin(), expected.end(), '/', '\\');
    EXPECT_EQ(win::BrowseForFolder("Folder:"), expected);
    win::SetFolderDialogPresenter({});
    std::filesystem::remove_all(parent);
}

TEST_F(VclTest, TheFormsFontIsLiberationSansAtElevenPixels) {
    vcl::SetApplicationFont(Application());
    const QFontInfo font(QApplication::font());
    EXPECT_EQ(font.family(), "Liberation Sans") << "fonts-liberation is installed";
    EXPECT_EQ(font.pixelSize(), 11);
}

TEST_F(VclTest, TheScreenWidthIsTheScreensUnlessATestSetsIt) {
    const int real = vcl::ScreenWidth();
    EXPECT_GT(real, 0);
    vcl::SetScreenWidth(640);
    EXPECT_EQ(vcl::ScreenWidth(), 640);
    vcl::SetScreenWidth(0);
    EXPECT_EQ(vcl::ScreenWidth(), real);
}

}  // namespace
