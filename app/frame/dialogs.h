#pragma once
// The About box (dialog 100) and the splash screen (dialog 144 with bitmap 143).
// Thread contract: UI thread only.
#include <QDialog>
#include <QPixmap>
#include <QSplashScreen>

namespace korvane::app {

// "About Korvane": the product line, two lines about the program, OK (id 1).
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// The splash picture: 400 by 320 pixels, drawn here (bitmap 143).
QPixmap SplashBitmap();

// A frameless picture centred on the screen, shown from its creation.
class CSplashDlg : public QSplashScreen {
    Q_OBJECT
public:
    CSplashDlg();
    // Shows the splash and makes sure it has been painted, since the pause that follows
    // processes no events.
    void ShowAndPaint();
};

}  // namespace korvane::app
