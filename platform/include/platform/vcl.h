// The component library's behaviour that the settings program's windows rely on, over Qt 6
// Widgets (library platform_qt): the hourglass cursor, the application's exception box, modal
// forms, the radio group, the owner-drawn list box, GDI's rectangles and polylines, the
// forms' font, the screen width and the help key.
//
// Everything here runs on the GUI thread after the QApplication exists. Handlers are plain
// std::function members (the library's events), so no class here needs Qt's meta-object
// compiler.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QColor>
#include <QGroupBox>
#include <QImage>
#include <QListWidget>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <QStyle>

class QApplication;
class QDialog;
class QPainter;
class QRadioButton;
class QWidget;

namespace vcl {

// Screen.Cursor := crHourGlass for the guard's lifetime; the previous cursor comes back on
// every way out, exceptions too.
class THourGlass {
  public:
    THourGlass();
    THourGlass(const THourGlass&) = delete;
    THourGlass& operator=(const THourGlass&) = delete;
    ~THourGlass();
};

// Runs an event handler as the application object runs it: an exception that escapes is
// shown as MessageBox(its text, the application title, MB_OK | MB_ICONERROR) and goes no
// further, so Qt never sees it and the window stays open.
void Guarded(const std::function<void()>& handler);

// Modal results.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

// ShowModal of a form: the form's own show handler runs when it is shown (its showEvent),
// then the user works in it until it is closed with a result. The form ends its modal run
// with EndModal.
int ShowModal(QDialog& form);
void EndModal(QDialog& form, int modalResult);

// For tests: while it lives, ShowModal shows the form without a loop (so its show handler
// runs), hands it to the next scripted action, hides it and returns the action's result.
// A modal form with no action left is recorded in Unscripted(), reported to the failure
// function (the one given, else the default one) and answered mrCancel. On the offscreen
// platform a modal form without any script is unscripted too, so a test never hangs in a
// loop nobody ends; the tests' main sets a default failure that fails the test.
class ModalScript {
  public:
    using Action = std::function<int(QDialog& form)>;
    using Failure = std::function<void(const std::string& formName)>;

    explicit ModalScript(Failure failure = {});
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;
    ~ModalScript();

    static void SetDefaultFailure(Failure failure);

    // The action returns the modal result, or mrNone to take the form's own (EndModal).
    void Then(Action action) { actions_.push_back(std::move(action)); }
    // The objectName of each form shown, in order.
    const std::vector<std::string>& Shown() const { return shown_; }
    const std::vector<std::string>& Unscripted() const { return unscripted_; }

  private:
    friend int ShowModal(QDialog& form);
    int Run(QDialog& form);
    Failure failure_;
    std::deque<Action> actions_;
    std::vector<std::string> shown_;
    std::vector<std::string> unscripted_;
};

// TRadioGroup: a group box of radio buttons, one per item, laid out in Columns columns.
// ItemIndex is -1 (none) .. Items.size() - 1; OnClick runs whenever ItemIndex changes, by
// the user or by the program.
class TRadioGroup : public QGroupBox {
  public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    void SetItems(const QStringList& items);
    QStringList Items() const;
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    void SetColumns(int columns);
    QRadioButton* Button(int index) const;

    std::function<void()> OnClick;

  private:
    void Layout();
    void Select(int index);
    std::vector<QRadioButton*> buttons_;
    int itemIndex_ = -1;
    int columns_ = 1;
    bool programmatic_ = false;
};

// An owner-drawn list box (style lbOwnerDrawFixed): every row is drawn by OnDrawItem with
// the row's index, its rectangle, its state (QStyle::State_Selected for the selected row)
// and a painter whose brush, pen and font the list has prepared (highlight colours for the
// selected row, else the list's own), as the library prepares the canvas.
//
// Drawing outside a paint (the library's Canvas used during a blocking wait) goes to the
// list's overlay: Canvas() paints on it in the viewport's coordinates (the list's client
// area), ShowCanvasNow() repaints this widget at once (only this one), and the overlay stays
// on screen, and in grab(), until the list's rows change.
class TOwnerDrawListBox : public QListWidget {
  public:
    using DrawItemHandler =
        std::function<void(int index, const QRect& rect, QStyle::State state, QPainter& canvas)>;

    explicit TOwnerDrawListBox(QWidget* parent = nullptr);
    ~TOwnerDrawListBox() override;

    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);
    int ItemIndex() const { return currentRow(); }
    void SetItemIndex(int index);
    int Count() const { return count(); }
    void AddItem(const QString& text);
    QString ItemText(int index) const;

    // The canvas over the list's client area; draw, then ShowCanvasNow().
    QPainter& Canvas();
    void ShowCanvasNow();
    bool HasOverlay() const { return !overlay_.isNull(); }
    void ClearOverlay();

    DrawItemHandler OnDrawItem;
    std::function<void()> OnClick;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    class Delegate;
    QImage overlay_;
    std::unique_ptr<QPainter> canvas_;
    int itemHeight_ = 18;
};

// The window colour (clWindow) of the forms.
QColor WindowColor();

// GDI drawing with the painter's pen and brush: Rectangle fills (left, top, right, bottom)
// with the brush and outlines it with the pen, leaving out the right column and the bottom
// row; FillRect fills the same area with one colour; Polyline joins the points with the pen,
// leaving out the last point. Pens are one pixel wide; Qt::NoPen and Qt::NoBrush draw
// nothing of their part.
void Rectangle(QPainter& canvas, int left, int top, int right, int bottom);
void FillRect(QPainter& canvas, int left, int top, int right, int bottom, const QColor& color);
void Polyline(QPainter& canvas, const std::vector<QPoint>& points);

// The forms' font, set once at start-up: Liberation Sans (metric-compatible with Arial) at
// 11 pixels, standing for 8-point MS Sans Serif at 96 dpi, which the forms' pixel geometry
// assumes.
void SetApplicationFont(QApplication& application);

// Screen.Width: the screen's width in pixels, or the width a test set (0 clears it).
int ScreenWidth();
void SetScreenWidth(int width);

// Help contexts of controls (the HelpContext property), and the help key: F1 in any window
// asks for the nearest non-zero help context of the focused control or its parents.
// InstallHelp also makes help requests (help.h) open the help viewer.
void SetHelpContext(QWidget& widget, int context);
int HelpContextOf(const QWidget& widget);
int NearestHelpContext(const QWidget* widget);
void InstallHelp(QApplication& application);

// Makes ShellExecute "open" go to QDesktopServices::openUrl.
void InstallShell();

}  // namespace vcl
