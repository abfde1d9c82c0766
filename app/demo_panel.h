#pragma once
// The simulator panel of the demo: plugs and unplugs the simulated boards, lays sensors on and
// takes them off, pushes a channel out of its limits or shorts it, presses the offline master's
// emergency stop and sets the USB transfer time and the contacts' bounce. It acts only on the simulated bus and boards,
// so the window sees what real hardware would make it see.
#include <QWidget>

class DemoBench;
class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;
class SimBoard;
class SimSensor;

class CDemoPanel final : public QWidget {
    Q_OBJECT

public:
    CDemoPanel(DemoBench& demo, QWidget* mainWindow);

    // One per board of the demo, in its order: checked while plugged.
    std::vector<QCheckBox*> plugged;
    QComboBox* position = nullptr;
    QPushButton* layOn = nullptr;
    QPushButton* takeOff = nullptr;
    QSpinBox* channel = nullptr;
    QPushButton* outOfLimits = nullptr;
    QPushButton* shortChannel = nullptr;
    QPushButton* restoreChannel = nullptr;
    QPushButton* emergencyStop = nullptr;
    QSpinBox* transferDelay = nullptr; // milliseconds
    QSpinBox* bounce = nullptr;        // contact bounce of every sensor, milliseconds

private:
    void SetPlugged(std::size_t board, bool on);
    void SetPresent(bool present);
    void SetFault(int fault);
    SimSensor* Selected() const; // the sensor of the chosen position
    bool IsPlugged(const SimBoard* board) const;

    DemoBench& demo_;
};
