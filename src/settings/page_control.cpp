// TPageControl; see page_control.h.
#include "settings/page_control.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabBar>

#include "platform/vcl.h"

namespace vrel {
namespace {

// The keys with which the tab bar (arrows) or the page control (Ctrl+Tab, Ctrl+PgDn) would
// change the page by themselves; -1 for any other key.
int KeyedIndex(const QKeyEvent& key, bool onTabBar, int current, int count) {
    const bool control = key.modifiers() & Qt::ControlModifier;
    switch (key.key()) {
        case Qt::Key_Left:
            return onTabBar && !control ? current - 1 : -1;
        case Qt::Key_Right:
            return onTabBar && !control ? current + 1 : -1;
        case Qt::Key_Tab:
        case Qt::Key_PageDown:
            return control ? (current + 1) % count : -1;
        case Qt::Key_Backtab:
        case Qt::Key_PageUp:
            return control ? (current + count - 1) % count : -1;
        default:
            return -1;
    }
}

}  // namespace

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
    tabBar()->installEventFilter(this);
    installEventFilter(this);
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (!adding_ && isVisible()) RunShowHandler(widget(index));
    });
}

void TPageControl::AddPage(QWidget* page, const QString& caption, int helpContext,
                           std::function<void()> onShow) {
    adding_ = true;
    addTab(page, caption);
    adding_ = false;
    vcl::SetHelpContext(*page, helpContext);
    onShow_[page] = std::move(onShow);
}

void TPageControl::RunShowHandler(QWidget* page) {
    const auto handler = onShow_.find(page);
    if (handler != onShow_.end() && handler->second) vcl::Guarded(handler->second);
}

void TPageControl::SetActivePage(QWidget* page) {
    if (currentWidget() == page) {
        if (isVisible()) RunShowHandler(page);
        return;
    }
    setCurrentWidget(page);
}

void TPageControl::SelectPage(QWidget* page) {
    adding_ = true;
    setCurrentWidget(page);
    adding_ = false;
}

void TPageControl::RequestPage(int index) {
    if (index < 0 || index >= count() || index == currentIndex()) return;
    if (OnChanging) vcl::Guarded(OnChanging);
    setCurrentIndex(index);
}

bool TPageControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tabBar() && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return true;
        RequestPage(tabBar()->tabAt(mouse->position().toPoint()));
        return true;
    }
    if (watched == tabBar() && event->type() == QEvent::Wheel) return true;
    if (event->type() == QEvent::KeyPress) {
        const int index = KeyedIndex(*static_cast<QKeyEvent*>(event), watched == tabBar(),
                                     currentIndex(), count());
        if (index < 0) return QTabWidget::eventFilter(watched, event);
        RequestPage(index);
        return true;
    }
    return QTabWidget::eventFilter(watched, event);
}

}  // namespace vrel
