// The help key, the help viewer and shell open over Qt; see vcl.h and help.h.
#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

#include "platform/help.h"
#include "platform/qt_gui.h"
#include "platform/shell.h"
#include "platform/vcl.h"

namespace vcl {
namespace {

constexpr const char* kHelpContextProperty = "HelpContext";

using win::ToQString;

// F1 anywhere asks for the help of the control that has the focus.
class HelpKey : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress ||
            static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) {
            return QObject::eventFilter(watched, event);
        }
        const QWidget* focus = QApplication::focusWidget();
        const int context = NearestHelpContext(focus ? focus : QApplication::activeWindow());
        if (context != 0) win::HelpContext(context);
        return true;
    }
};

// The help text of a request: the topic's name and body, or what is missing.
QString HelpPage(const win::HelpRequest& request, QString& title) {
    const auto topics = win::ReadHelpFile(request.file);
    if (!topics) {
        title = QStringLiteral("Help");
        return QStringLiteral("Cannot find the help file %1.").arg(ToQString(request.file));
    }
    const win::HelpTopic* topic = win::FindHelpTopic(*topics, request);
    if (!topic) {
        title = QStringLiteral("Help");
        const QString wanted =
            request.context != 0 ? QString::number(request.context) : ToQString(request.topic);
        return QStringLiteral("The help file %1 has no topic %2.")
            .arg(ToQString(request.file), wanted);
    }
    title = ToQString(topic->name);
    return ToQString(topic->body);
}

bool ShowHelp(const win::HelpRequest& request) {
    static QPointer<QTextBrowser> viewer;
    if (!viewer) {
        viewer = new QTextBrowser();
        viewer->setObjectName(QStringLiteral("HelpViewer"));
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->resize(480, 360);
    }
    QString title;
    viewer->setPlainText(HelpPage(request, title));
    viewer->setWindowTitle(title);
    viewer->show();
    viewer->raise();
    return true;
}

}  // namespace

void SetHelpContext(QWidget& widget, int context) {
    widget.setProperty(kHelpContextProperty, context);
}

int HelpContextOf(const QWidget& widget) {
    return widget.property(kHelpContextProperty).toInt();
}

int NearestHelpContext(const QWidget* widget) {
    for (; widget; widget = widget->parentWidget()) {
        if (const int context = HelpContextOf(*widget)) return context;
    }
    return 0;
}

void InstallHelp(QApplication& application) {
    application.installEventFilter(new HelpKey(&application));
    win::SetHelpPresenter(ShowHelp);
}

void InstallShell() {
    win::SetShellOpener([](const win::ShellRequest& request) {
        return QDesktopServices::openUrl(QUrl::fromUserInput(ToQString(request.file)));
    });
}

}  // namespace vcl
