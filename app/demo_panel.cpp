#include "demo_panel.h"

#include "demo_mode.h"
#include "sim_bus.h"
#include "sim_master_board.h"
#include "sim_sensor.h"
#include "dialog_fit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

#include <chrono>

CDemoPanel::CDemoPanel(DemoBench& demo, QWidget* mainWindow) : QWidget(mainWindow, Qt::Tool), demo_(demo)
{
    setWindowTitle(tr("模拟器"));
    setObjectName(QStringLiteral("demoPanel"));
    auto* layout = new QVBoxLayout(this);

    auto* boards = TitleOnFrame(new QGroupBox(tr("测试板"), this));
    auto* boardsLayout = new QVBoxLayout(boards);
    for (std::size_t i = 0; i < demo_.boards().size(); ++i) {
        const DemoBoard& board = demo_.boards()[i];
        auto* box = new QCheckBox(board.probedOnly ? tr("%1 已插入（仅探测）").arg(board.name) : tr("%1 已插入").arg(board.name),
                                  boards);
        if (board.probedOnly)
            box->setToolTip(tr("窗口只探测这块板，不单独为它测量：只插着它时标题为“设备已经断开”"));
        box->setChecked(board.id >= 0);
        connect(box, &QCheckBox::toggled, this, [this, i](bool on) { SetPlugged(i, on); });
        boardsLayout->addWidget(box);
        plugged.push_back(box);
    }
    layout->addWidget(boards);

    auto* sensors = TitleOnFrame(new QGroupBox(tr("传感器"), this));
    auto* form = new QFormLayout(sensors);
    position = new QComboBox(sensors);
    for (std::size_t b = 0; b < demo_.boards().size(); ++b)
        for (std::size_t s = 0; s < demo_.boards()[b].sensors.size(); ++s)
            position->addItem(demo_.boards()[b].sensors[s].first, QVariant::fromValue(QPoint(static_cast<int>(b), static_cast<int>(s))));
    form->addRow(tr("位置"), position);
    layOn = new QPushButton(tr("放上传感器"), sensors);
    takeOff = new QPushButton(tr("取走传感器"), sensors);
    auto* presence = new QHBoxLayout;
    presence->addWidget(layOn);
    presence->addWidget(takeOff);
    form->addRow(presence);
    channel = new QSpinBox(sensors);
    channel->setRange(0, 31);
    form->addRow(tr("通道"), channel);
    outOfLimits = new QPushButton(tr("通道超限"), sensors);
    shortChannel = new QPushButton(tr("通道短路"), sensors);
    restoreChannel = new QPushButton(tr("通道恢复"), sensors);
    auto* faults = new QHBoxLayout;
    faults->addWidget(outOfLimits);
    faults->addWidget(shortChannel);
    faults->addWidget(restoreChannel);
    form->addRow(faults);
    layout->addWidget(sensors);
    connect(layOn, &QPushButton::clicked, this, [this] { SetPresent(true); });
    connect(takeOff, &QPushButton::clicked, this, [this] { SetPresent(false); });
    connect(outOfLimits, &QPushButton::clicked, this, [this] { SetFault(static_cast<int>(ChannelFault::High)); });
    connect(shortChannel, &QPushButton::clicked, this, [this] { SetFault(static_cast<int>(ChannelFault::Short)); });
    connect(restoreChannel, &QPushButton::clicked, this, [this] { SetFault(static_cast<int>(ChannelFault::None)); });

    emergencyStop = new QPushButton(tr("按下急停"), this);
    emergencyStop->setEnabled(demo_.master() != nullptr);
    connect(emergencyStop, &QPushButton::clicked, this, [this] {
        if (demo_.master())
            demo_.master()->triggerEmergencyStop();
    });
    layout->addWidget(emergencyStop);

    auto* timing = new QFormLayout;
    transferDelay = new QSpinBox(this);
    transferDelay->setRange(0, 100);
    transferDelay->setValue(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(demo_.bus().transferDelay()).count()));
    connect(transferDelay, &QSpinBox::valueChanged, this,
            [this](int ms) { demo_.bus().setTransferDelay(std::chrono::milliseconds(ms)); });
    timing->addRow(tr("传输延时 (毫秒)"), transferDelay);
    bounce = new QSpinBox(this);
    bounce->setRange(0, 1000);
    const auto& all = demo_.boards();
    if (!all.empty() && !all.front().sensors.empty())
        bounce->setValue(static_cast<int>(all.front().sensors.front().second->bounce().count()));
    connect(bounce, &QSpinBox::valueChanged, this, [this](int ms) {
        for (DemoBoard& b : demo_.boards())
            for (auto& sensor : b.sensors)
                sensor.second->setBounce(std::chrono::milliseconds(ms));
    });
    timing->addRow(tr("触点弹跳 (毫秒)"), bounce);
    layout->addLayout(timing);
    layout->addStretch();

    // Beside the main window's right edge, on its screen.
    adjustSize();
    if (QScreen* screen = mainWindow ? mainWindow->screen() : nullptr) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 20, area.top() + 60);
    }
}

void CDemoPanel::SetPlugged(std::size_t board, bool on)
{
    DemoBoard& b = demo_.boards()[board];
    if (on && b.id < 0)
        b.id = demo_.bus().plug(b.spec, b.board);
    else if (!on && b.id >= 0) {
        demo_.bus().unplug(b.id);
        b.id = -1;
    }
    // An unplugged master has no input to press.
    emergencyStop->setEnabled(demo_.master() != nullptr && IsPlugged(demo_.master()));
}

bool CDemoPanel::IsPlugged(const SimBoard* board) const
{
    for (const DemoBoard& b : demo_.boards())
        if (b.board.get() == board)
            return b.id >= 0;
    return false;
}

SimSensor* CDemoPanel::Selected() const
{
    if (position->currentIndex() < 0)
        return nullptr;
    const QPoint at = position->currentData().toPoint();
    return demo_.boards()[static_cast<std::size_t>(at.x())].sensors[static_cast<std::size_t>(at.y())].second;
}

void CDemoPanel::SetPresent(bool present)
{
    SimSensor* sensor = Selected();
    if (!sensor)
        return;
    // The person's hand wins over the demo's timeline for this position from now on.
    sensor->setScenario(false);
    sensor->setPresent(present);
}

void CDemoPanel::SetFault(int fault)
{
    SimSensor* sensor = Selected();
    if (!sensor)
        return;
    // As with laying it on: the demo's timeline would lift the sensor and hide the fault.
    sensor->setScenario(false);
    sensor->setChannelFault(channel->value(), static_cast<ChannelFault>(fault));
}
