// The forms' font (see vcl.h), in a unit of its own: popagent's start form module compiles it in
// without the rest of the window helpers.
#include <QApplication>
#include <QFont>

#include "platform/vcl.h"

namespace vcl {

void SetApplicationFont(QApplication& application) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    application.setFont(font);
}

}  // namespace vcl
