// No text of a form is cut: every caption, label, check box, radio button, group title and
// edit text is measured with the control's own font against the control's rectangle, and
// every control lies inside its parent. For the settings window and popagent's start form,
// both with the forms' application font.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <string>

#include "agent/start_form.h"
#include "settings_fixture.h"

namespace {

// Room a button's frame and an edit's frame take from the text.
constexpr int kButtonMargins = 8;
constexpr int kEditMargins = 6;
// The frame line a group box draws its title in, left and right of the title.
constexpr int kGroupTitleMargins = 16;

int TextWidth(const QWidget& widget, const QString& text) {
    return QFontMetrics(widget.font()).horizontalAdvance(text);
}

// The width the control needs for its text, or 0 when it shows none.
int NeededWidth(const QWidget& widget) {
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        return label->pixmap().isNull() ? TextWidth(widget, label->text()) : 0;
    }
    if (const auto* button = qobject_cast<const QPushButton*>(&widget)) {
        return TextWidth(widget, button->text()) + kButtonMargins;
    }
    if (qobject_cast<const QCheckBox*>(&widget) || qobject_cast<const QRadioButton*>(&widget)) {
        const QStyle* style = widget.style();
        return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &widget) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &widget) +
               TextWidth(widget, static_cast<const QAbstractButton&>(widget).text());
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(&widget)) {
        return group->title().isEmpty() ? 0
                                        : TextWidth(widget, group->title()) + kGroupTitleMargins;
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) {
        return TextWidth(widget, edit->text()) + kEditMargins;
    }
    return 0;
}

std::string NameOf(const QWidget& widget) {
    const QString name = widget.objectName();
    return name.isEmpty() ? std::string(widget.metaObject()->className()) + " in " +
                                widget.parentWidget()->objectName().toStdString()
                          : name.toStdString();
}

// Measures every named control inside the area (shown, so that its layouts have run) and
// every radio button of its radio groups.
void ExpectTextsFit(QWidget& area) {
    area.window()->show();
    QApplication::processEvents();
    int measured = 0;
    for (QWidget* widget : area.findChildren<QWidget*>()) {
        const bool named =
            !widget->objectName().isEmpty() && !widget->objectName().startsWith("qt_");
        if (!named && !qobject_cast<QRadioButton*>(widget)) continue;
        SCOPED_TRACE(NameOf(*widget));
        const int needed = NeededWidth(*widget);
        EXPECT_LE(needed, widget->width());
        if (needed > 0) {
            EXPECT_LE(QFontMetrics(widget->font()).height(), widget->height());
            ++measured;
        }
        const QWidget* parent = widget->parentWidget();
        if (parent && !parent->objectName().startsWith("qt_")) {
            EXPECT_TRUE(parent->rect().contains(widget->geometry()))
                << "cut by " << NameOf(*parent);
        }
    }
    EXPECT_GT(measured, 0);
}

class TextFitTest : public vrel::test::PopDlgTest {};

TEST_F(TextFitTest, SettingsWindowTextsFit) {
    vrel::TPopDlg& form = Form();
    form.UserAccRadioGroup->SetItems(
        {"Local Computer (ABCDEFGHIJKLMNO) Users", "NT Domain"});  // the longest computer name
    form.GenStatusListBox->AddItem("POP3 Service (Not Installed)");
    for (QWidget* page :
         {form.GeneralTab, form.UserAccTab, form.AliasTab, form.WizardTab, form.AboutTab}) {
        SCOPED_TRACE(page->objectName().toStdString());
        form.PageControl->setCurrentWidget(page);
        ExpectTextsFit(*page);
    }
    ExpectTextsFit(*form.BottomPanel);
    const QFontMetrics list(form.GenStatusListBox->font());
    EXPECT_LE(30 + list.horizontalAdvance("POP3 Service (Not Installed)"),
              form.GenStatusListBox->viewport()->width());
    EXPECT_LE(list.height() + 2, form.GenStatusListBox->ItemHeight());
}

TEST_F(TextFitTest, LogFileOptionsTextsFit) {
    ExpectTextsFit(LogOptions());
}

TEST_F(TextFitTest, OptionsAndBrowseListDialogTextsFit) {
    for (QDialog* dialog : std::initializer_list<QDialog*>{vrel::OptionsDlg, vrel::BrowseListDlg}) {
        SCOPED_TRACE(dialog->objectName().toStdString());
        ExpectTextsFit(*dialog);
        dialog->hide();
    }
}

TEST_F(TextFitTest, AgentStartFormTextFits) {
    vrel::TStartForm form;
    ExpectTextsFit(form);
    EXPECT_EQ(form.Label1->font().family(), "Liberation Sans");
}

}  // namespace
