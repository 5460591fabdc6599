// TSplashScnForm: the borderless splash window with the product logo that the settings
// program shows while it starts. It closes itself after SplashTimer's 5000 ms on the
// machine's clock, or at a click on the logo, and frees itself when closed; closing it shows
// the main window when that exists already.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QTimer>

#include "settings/form_controls.h"

namespace vrel {

inline constexpr int kSplashInterval = 5000;

class TSplashScnForm : public QDialog {
  public:
    explicit TSplashScnForm(QWidget* parent = nullptr);
    ~TSplashScnForm() override;

    QFrame* Panel1;
    TClickImage* Image1;
    QTimer* SplashTimer;

    void SplashTimerTimer();
    void FormClose();

  protected:
    void closeEvent(QCloseEvent* event) override;
};

// The splash window while it lives.
extern TSplashScnForm* SplashScnForm;

}  // namespace vrel
