#include "app/frame/dialogs.h"

#include "resources/frame_resources.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

namespace korvane::app {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QString::number(resources::kIddAboutBox));
    setWindowTitle(tr("About Korvane"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Korvane Version 1.0"), this));
    layout->addWidget(new QLabel(tr("Reads audio tracks from CD bit-exactly and cuts them into sample regions."), this));
    layout->addWidget(new QLabel(tr("Threshold and release time set the cuts; regions export as WAV files."), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setSizeGripEnabled(false);
}

QPixmap SplashBitmap() {
    QPixmap pixmap(400, 320);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 320);
    sky.setColorAt(0.0, QColor(18, 24, 38));
    sky.setColorAt(1.0, QColor(40, 52, 82));
    p.fillRect(pixmap.rect(), sky);

    // A waveform with its slice markers: bursts separated by quiet stretches.
    const double mid = 200.0;
    QPainterPath wave;
    wave.moveTo(20, mid);
    const int starts[] = {20, 120, 215, 300};
    for (int x = 20; x <= 380; ++x) {
        double envelope = 0.0;
        for (int s : starts) {
            const double t = (x - s) / 70.0;
            if (t >= 0.0 && t < 1.0) envelope = std::max(envelope, std::exp(-4.0 * t));
        }
        const double y = mid - 70.0 * envelope * std::sin(x * 0.9) * std::cos(x * 0.13);
        wave.lineTo(x, y);
    }
    p.setPen(QPen(QColor(120, 220, 160), 1.2));
    p.drawPath(wave);
    p.setPen(QPen(QColor(240, 200, 90), 1.0, Qt::DashLine));
    for (int s : starts) p.drawLine(s, 130, s, 270);

    p.setPen(QColor(235, 238, 245));
    QFont title = p.font();
    title.setPointSize(30);
    title.setBold(true);
    p.setFont(title);
    p.drawText(QRect(0, 28, 400, 60), Qt::AlignHCenter, QStringLiteral("Korvane"));
    QFont line = p.font();
    line.setPointSize(10);
    line.setBold(false);
    p.setFont(line);
    p.drawText(QRect(0, 82, 400, 24), Qt::AlignHCenter, QStringLiteral("CD audio into sample regions"));
    p.drawText(QRect(0, 290, 390, 20), Qt::AlignRight, QStringLiteral("Version 1.0"));
    p.end();
    return pixmap;
}

CSplashDlg::CSplashDlg() : QSplashScreen(SplashBitmap()) {
    setObjectName(QString::number(resources::kIddSplash));
}

void CSplashDlg::ShowAndPaint() {
    show();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    raise();
    repaint();
    // Let the window system map and expose the window before the event-free pause.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace korvane::app
