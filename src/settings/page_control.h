// TPageControl: a tabbed page control that behaves as the component library's does. A page
// change asked for by the user first runs OnChanging (which may ask a question), then the
// switch runs the new page's show handler. A disabled page (its widget disabled) keeps its
// tab selectable, and its show handler still runs. SetActivePage runs the page's show
// handler also when the page is active already. While the control is hidden no show handler
// runs: the form's first showing runs the active page's one.
//
// GUI thread only; the handlers run inside the exception guard.
#pragma once

#include <QTabWidget>
#include <functional>
#include <map>

namespace vrel {

class TPageControl : public QTabWidget {
  public:
    explicit TPageControl(QWidget* parent);

    // Adds a page with its caption, help context and show handler.
    void AddPage(QWidget* page, const QString& caption, int helpContext,
                 std::function<void()> onShow);
    QWidget* ActivePage() const { return currentWidget(); }
    void SetActivePage(QWidget* page);
    // Makes the page active without running its show handler: the form's loading chooses
    // the page whose handler its first showing then runs.
    void SelectPage(QWidget* page);
    // A page change as the user asks for it (a click on its tab).
    void RequestPage(int index);
    void RunShowHandler(QWidget* page);

    std::function<void()> OnChanging;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::map<QWidget*, std::function<void()>> onShow_;
    bool adding_ = false;
};

}  // namespace vrel
