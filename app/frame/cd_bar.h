#pragma once
// The CD bar (dialog 131): "Drive:" with the Drive box (1004), "Track:" with the Track
// box (1005), and the buttons Refresh (1006) and Read Track (1007). The bar only holds
// the controls; its owner, the main frame, handles their notifications. The ids are the
// controls' object names ("1004", ...), so tests and scripts can find them.
// Thread contract: UI thread only.
#include <QWidget>

class QComboBox;
class QPushButton;

namespace korvane::app {

class CCdBar : public QWidget {
    Q_OBJECT
public:
    explicit CCdBar(QWidget* parent = nullptr);

    QComboBox* driveBox() const noexcept { return driveBox_; }
    QComboBox* trackBox() const noexcept { return trackBox_; }
    QPushButton* refreshButton() const noexcept { return refresh_; }
    QPushButton* readTrackButton() const noexcept { return readTrack_; }

signals:
    // The user picked a line of the Drive box (CBN_SELCHANGE; not for programmatic changes).
    void driveSelectionChanged(int line);
    // A button was pressed: 1006 or 1007.
    void command(unsigned id);

private:
    QComboBox* driveBox_;
    QComboBox* trackBox_;
    QPushButton* refresh_;
    QPushButton* readTrack_;
};

}  // namespace korvane::app
