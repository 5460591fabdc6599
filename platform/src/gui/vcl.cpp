// The library's cursor, exception box, modal forms, GDI drawing, font and screen over Qt;
// see vcl.h.
#include "platform/vcl.h"

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <utility>

#include "platform/codepage.h"
#include "platform/dialogs.h"

namespace vcl {
namespace {

struct VclState {
    ModalScript* script = nullptr;
    ModalScript::Failure defaultFailure;
    int screenWidth = 0;
};

VclState& State() {
    static VclState state;
    return state;
}

// The exception box's text: the message with a full stop added, as the library shows it.
std::string ExceptionText(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

bool Offscreen() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

// One pixel-exact horizontal or vertical strip.
void Strip(QPainter& canvas, int left, int top, int width, int height, const QColor& color) {
    if (width > 0 && height > 0) canvas.fillRect(QRect(left, top, width, height), color);
}

// The points of a line from one point to another, the last one left out (GDI's rule).
void Line(QPainter& canvas, QPoint from, QPoint to, const QColor& color) {
    const int dx = std::abs(to.x() - from.x()), sx = from.x() < to.x() ? 1 : -1;
    const int dy = -std::abs(to.y() - from.y()), sy = from.y() < to.y() ? 1 : -1;
    int error = dx + dy;
    while (from != to) {
        Strip(canvas, from.x(), from.y(), 1, 1, color);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            from.rx() += sx;
        }
        if (twice <= dx) {
            error += dx;
            from.ry() += sy;
        }
    }
}

}  // namespace

THourGlass::THourGlass() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

THourGlass::~THourGlass() {
    QGuiApplication::restoreOverrideCursor();
}

void Guarded(const std::function<void()>& handler) {
    std::string text;
    try {
        handler();
        return;
    } catch (const std::exception& error) {
        text = error.what();
    } catch (...) {
        text = "Unknown exception";
    }
    win::MessageBox(ExceptionText(text), win::ApplicationTitle(), win::MB_OK | win::MB_ICONERROR);
}

int ShowModal(QDialog& form) {
    if (ModalScript* script = State().script) return script->Run(form);
    if (Offscreen()) {
        ModalScript unscripted;
        return unscripted.Run(form);
    }
    form.setResult(mrNone);
    form.setModal(true);
    const int result = form.exec();
    return result == mrNone ? mrCancel : result;  // closed by its window's close button
}

void EndModal(QDialog& form, int modalResult) {
    form.done(modalResult);
}

ModalScript::ModalScript(Failure failure)
    : failure_(failure ? std::move(failure) : State().defaultFailure) {
    if (State().script) throw std::logic_error("ModalScript: one at a time");
    State().script = this;
}

ModalScript::~ModalScript() {
    State().script = nullptr;
}

int ModalScript::Run(QDialog& form) {
    const std::string name = form.objectName().toStdString();
    shown_.push_back(name);
    form.setResult(mrNone);
    form.show();
    int result = mrCancel;
    if (actions_.empty()) {
        unscripted_.push_back(name);
        if (failure_) failure_(name);
    } else {
        const Action action = std::move(actions_.front());
        actions_.pop_front();
        result = action(form);
        if (result == mrNone) result = form.result();
    }
    form.hide();
    form.setResult(result);
    return result;
}

void ModalScript::SetDefaultFailure(Failure failure) {
    State().defaultFailure = std::move(failure);
}

QColor WindowColor() {
    return QColor(255, 255, 255);
}

void Rectangle(QPainter& canvas, int left, int top, int right, int bottom) {
    const int width = right - left, height = bottom - top;
    if (width <= 0 || height <= 0) return;
    if (canvas.brush().style() != Qt::NoBrush) {
        canvas.fillRect(QRect(left, top, width, height), canvas.brush());
    }
    if (canvas.pen().style() == Qt::NoPen) return;
    const QColor pen = canvas.pen().color();
    Strip(canvas, left, top, width, 1, pen);
    Strip(canvas, left, bottom - 1, width, 1, pen);
    Strip(canvas, left, top, 1, height, pen);
    Strip(canvas, right - 1, top, 1, height, pen);
}

void FillRect(QPainter& canvas, int left, int top, int right, int bottom, const QColor& color) {
    Strip(canvas, left, top, right - left, bottom - top, color);
}

void Polyline(QPainter& canvas, const std::vector<QPoint>& points) {
    if (canvas.pen().style() == Qt::NoPen) return;
    for (std::size_t i = 1; i < points.size(); ++i) {
        Line(canvas, points[i - 1], points[i], canvas.pen().color());
    }
}

int ScreenWidth() {
    if (State().screenWidth > 0) return State().screenWidth;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}

void SetScreenWidth(int width) {
    State().screenWidth = width;
}

}  // namespace vcl
