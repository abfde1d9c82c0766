// Help > About on the running window: each board's information dialog, its fields, and what OK
// and Cancel send to the board.
#include "cabout_dlg.h"
#include "cabout_dlg_harrowin.h"
#include "cabout_dlg_harrowin_hid.h"
#include "cedit_list_ctrl.h"
#include "command_ids.h"
#include "maker_domain.h"
#include "sim_classic_board.h"
#include "sim_kelspire_board.h"
#include "sim_master_board.h"
#include "sim_runoff_board.h"
#include "wait_until.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <functional>

namespace {

struct BoardInformation : WindowFixture {
    QStringList shown; // class name of each dialog, in order

    // Runs the About command; `act` sees each dialog while it is open and closes it.
    void about(const std::function<void(QDialog*)>& act)
    {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || dialog->property("seen").toBool())
                return;
            dialog->setProperty("seen", true);
            shown << dialog->metaObject()->className();
            act(dialog);
        });
        poll.start(0);
        dlg->OnCommand(ID_ABOUT);
        settle(); // the dialogs open as their reads answer
    }
    static QString field(QDialog* dialog, int id)
    {
        for (QLineEdit* e : dialog->findChildren<QLineEdit*>())
            if (e->property("controlId").toInt() == id)
                return e->text();
        return QStringLiteral("<no field>");
    }
    static QWidget* control(QDialog* dialog, int id)
    {
        for (QWidget* w : dialog->findChildren<QWidget*>())
            if (w->property("controlId").toInt() == id)
                return w;
        return nullptr;
    }
    static void click(QDialog* dialog, int id) { qobject_cast<QAbstractButton*>(control(dialog, id))->click(); }
    int writes(int id, std::uint8_t code) const
    {
        int n = 0;
        for (const auto& e : bus.log(id))
            n += e.bytes[1] == 0x01 && e.bytes[2] == 0x29 && e.bytes[3] == code;
        return n;
    }
};

TEST_F(BoardInformation, NoBoardShowsNothingAndTheSystemEntryShowsAnEmptyBox)
{
    open();
    about([](QDialog* d) { d->reject(); });
    EXPECT_TRUE(shown.isEmpty());

    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(field(box, CAboutDlg::IDC_SERIAL_NUMBER), "");
        EXPECT_EQ(field(box, CAboutDlg::IDC_PROGRAM_VERSION), "1.3.1.37");
        EXPECT_EQ(control(box, CAboutDlg::IDC_LOGO)->property("bitmap").toInt(), 140);
        box->accept();
    });
    dlg->ShowAboutBox();
}

TEST_F(BoardInformation, OneToOneBoardShowsItsRecordAndOkSetsTheOfflineDisplay)
{
    auto board = std::make_shared<SimRunoffBoard>();
    SimRunoffBoard::Record record = board->record();
    record.firmwareVersion = 0x0105;
    record.firmwareYear = 2026;
    record.firmwareMonth = 6;
    record.firmwareDay = 9;
    record.modelCode = 3;
    board->setRecord(record);
    const int id = bus.plug(SimRunoffBoard::Identity("merrowin-demo"), board);
    open();
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.runoffReady.load() == 1; }));

    for (const bool ok : {false, true}) {
        bus.clearLog(id);
        about([&](QDialog* d) {
            EXPECT_EQ(field(d, CAboutDlg::IDC_FIRMWARE_VERSION), "0x105");
            EXPECT_EQ(field(d, CAboutDlg::IDC_FIRMWARE_DATE), QString::fromUtf8("2026年06月09日"));
            EXPECT_EQ(field(d, CAboutDlg::IDC_MODEL), QString::fromUtf8("一拖一之[二号机]"));
            EXPECT_EQ(field(d, CAboutDlg::IDC_SERIAL_NUMBER), "SN-0000000000001");
            auto* offline = qobject_cast<QCheckBox*>(control(d, CAboutDlg::IDC_OFFLINE_DISPLAY));
            EXPECT_TRUE(offline->isEnabled()) << "bit 7 of the option flags offers it";
            offline->setChecked(true);
            ok ? click(d, CAboutDlg::IDC_OK) : d->reject();
        });
        EXPECT_EQ(writes(id, 0xD5), ok ? 1 : 0) << "the offline display write";
        EXPECT_EQ(board->record().offlineDisplayMode, ok ? 1 : 0);
    }
    EXPECT_EQ(shown, (QStringList{"CAboutDlg", "CAboutDlg"}));
}

TEST_F(BoardInformation, SmartMasterWritesItsLayoutRecordOnOk)
{
    auto board = std::make_shared<SimKelspireBoard>();
    SimKelspireBoard::Record record = board->record();
    record.firmwareVersion = 0x0105;
    board->setRecord(record);
    std::array<std::uint8_t, 32> layout{};
    layout[0] = 1;
    layout[1] = 2;
    layout[2] = 3;
    layout[7] = 9; // not part of the record: written back as 0
    board->setLayout(layout);
    const int id = bus.plug(SimKelspireBoard::Identity(MAKER_DOMAIN), board);
    open();
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.kelspireReady.load() == 1; }));

    about([&](QDialog* d) {
        EXPECT_EQ(field(d, CAboutDlgHarrowin::IDC_FIRMWARE_VERSION), "0.1.0.5");
        EXPECT_EQ(field(d, CAboutDlgHarrowin::IDC_ROWS), "2");
        EXPECT_EQ(field(d, CAboutDlgHarrowin::IDC_COLUMNS), "3");
        EXPECT_TRUE(qobject_cast<QCheckBox*>(control(d, CAboutDlgHarrowin::IDC_LAYOUT_SWITCH))->isChecked());
        d->reject();
    });
    EXPECT_EQ(board->layout(), layout) << "Cancel writes nothing";

    about([&](QDialog* d) {
        qobject_cast<QLineEdit*>(control(d, CAboutDlgHarrowin::IDC_ROWS))->setText("4");
        qobject_cast<QLineEdit*>(control(d, CAboutDlgHarrowin::IDC_COLUMNS))->setText("300");
        // A column count beyond a byte is refused and the dialog stays.
        EXPECT_EQ(messagesDuring([&] { click(d, CAboutDlgHarrowin::IDC_OK); }),
                  QStringList{QString::fromUtf8("请输入一个 0 至 255 之间的整数。")});
        EXPECT_TRUE(d->isVisible());
        qobject_cast<QLineEdit*>(control(d, CAboutDlgHarrowin::IDC_COLUMNS))->setText("5");
        qobject_cast<QAbstractButton*>(control(d, CAboutDlgHarrowin::IDC_LAYOUT_SWITCH))->click(); // off
        click(d, CAboutDlgHarrowin::IDC_OK);
    });
    std::array<std::uint8_t, 32> expected{};
    expected[1] = 4;
    expected[2] = 5;
    EXPECT_EQ(board->layout(), expected);
    (void)id;
}

struct OfflineMaster : BoardInformation {
    std::shared_ptr<SimMasterBoard> board =
        std::make_shared<SimMasterBoard>(std::vector<std::uint8_t>{0, 1, 2, 3, 5, 6});
    int id = 0;

    void plug2x3()
    {
        SimMasterBoard::Record record = board->record();
        record.firmwareVersion = 0x0105;
        record.rows = 2;
        record.columns = 3;
        board->setRecord(record);
        std::array<std::uint8_t, 32> map{};
        for (int i = 0; i < 6; ++i) {
            map[2 * i] = static_cast<std::uint8_t>(((i % 3) << 4) | (i / 3));
            map[2 * i + 1] = static_cast<std::uint8_t>(0x80 | i);
        }
        map[2 * 4 + 1] = 0x04; // bit 7 clear: no station
        board->setCellMap(map);
        id = bus.plug(SimMasterBoard::Identity(MAKER_DOMAIN), board);
        open();
        ASSERT_TRUE(waitUntil([&] { return dlg->engine.masterAbsent.load() == 0 && !dlg->engine.InitPending(); }));
    }
    static CEditListCtrl* list(QDialog* d)
    {
        return qobject_cast<CEditListCtrl*>(control(d, CAboutDlgHarrowinHID::IDC_STATION_LIST));
    }
};

TEST_F(OfflineMaster, StationListShowsTheMapAndOkWritesItBack)
{
    plug2x3();
    about([&](QDialog* d) {
        EXPECT_EQ(field(d, CAboutDlgHarrowinHID::IDC_FIRMWARE_VERSION), "0.1.0.5");
        CEditListCtrl* stations = list(d);
        ASSERT_EQ(stations->columnCount(), 3);
        ASSERT_EQ(stations->rowCount(), 2);
        EXPECT_EQ(stations->horizontalHeaderItem(0)->text(), QString::fromUtf8("第1列"));
        EXPECT_EQ(stations->horizontalHeaderItem(2)->text(), QString::fromUtf8("第3列"));
        EXPECT_EQ(stations->item(1, 2)->text(), "5");
        EXPECT_EQ(stations->item(1, 1)->text(), "255") << "an entry without bit 7";
        stations->item(0, 1)->setText("9");
        qobject_cast<QCheckBox*>(control(d, CAboutDlgHarrowinHID::IDC_BUZZER_INVERTED))->setChecked(true);
        click(d, CAboutDlgHarrowinHID::IDC_OK);
    });
    const auto map = board->cellMap();
    const std::uint8_t expected[12] = {0x00, 0x80, 0x10, 0x89, 0x20, 0x82, 0x01, 0x83, 0x11, 0xFF, 0x21, 0x85};
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(map[static_cast<std::size_t>(k)], expected[k]) << "byte " << k;
    for (std::size_t k = 12; k < 32; ++k)
        EXPECT_EQ(map[k], 0) << "byte " << k;
    EXPECT_EQ(board->record().buzzerMode, 0x81);
    EXPECT_EQ(board->record().rows, 2);
    EXPECT_EQ(board->record().columns, 3);
}

TEST_F(OfflineMaster, BadLayoutsAndStationNumbersAreRefusedAndNothingIsWritten)
{
    plug2x3();
    const auto before = board->cellMap();
    bus.clearLog(id);
    about([&](QDialog* d) {
        auto* info = qobject_cast<CAboutDlgHarrowinHID*>(d);
        // The map keeps 7 bits of a station: 128 to 254 would name another one.
        QStringList refused;
        for (const char* number : {"300", "200", "128", "254", "-1"}) {
            list(d)->item(1, 0)->setText(number);
            refused = messagesDuring([&] { click(d, CAboutDlgHarrowinHID::IDC_OK); });
            ASSERT_EQ(refused.size(), 1) << number;
            EXPECT_TRUE(refused[0].contains(QString::fromUtf8("第2行第1列的站号 ") + number)) << refused[0].toStdString();
            EXPECT_TRUE(refused[0].contains(QString::fromUtf8("0 至 127"))) << refused[0].toStdString();
            EXPECT_TRUE(refused[0].contains("255")) << refused[0].toStdString();
            EXPECT_TRUE(d->isVisible());
        }

        list(d)->item(1, 0)->setText("3");
        info->rows = 2;
        info->columns = 9; // 18 cells: more than the board's map holds
        refused = messagesDuring([&] { click(d, CAboutDlgHarrowinHID::IDC_OK); });
        ASSERT_EQ(refused.size(), 1);
        EXPECT_TRUE(refused[0].contains("16")) << refused[0].toStdString();
        EXPECT_TRUE(d->isVisible());
        d->reject();
    });
    EXPECT_EQ(board->cellMap(), before);
    EXPECT_EQ(board->record().columns, 3);
    for (const int write : {0x33, 0xF3, 0xF5, 0xF7}) // cell map, buzzer, rows, columns
        EXPECT_EQ(writes(id, static_cast<std::uint8_t>(write)), 0) << std::hex << write;
}

TEST_F(OfflineMaster, ClearingTheEmergencyStopHoldsAfterCancel)
{
    plug2x3();
    board->triggerEmergencyStop();
    ASSERT_TRUE(waitUntil([&] { return dlg->engine.emergencyStop.load(); }));
    // The operator clears it once the station stands still: the worker's first emergency pass has
    // written the latch byte back as 0, so the board no longer reports it.
    bus.clearLog(id);
    ASSERT_TRUE(waitUntil([&] { return writes(id, 0xD3) > 0; }));
    about([&](QDialog* d) {
        click(d, CAboutDlgHarrowinHID::IDC_CLEAR_EMERGENCY_STOP);
        EXPECT_FALSE(dlg->engine.emergencyStop.load()) << "cleared at once, with the dialog open";
        EXPECT_TRUE(d->isVisible());
        d->reject();
    });
    EXPECT_FALSE(dlg->engine.emergencyStop.load());
    // The worker passes normally again: it writes the board's output block back with the latch byte 0.
    bus.clearLog(id);
    EXPECT_TRUE(waitUntil([&] { return board->outputs()[6] == 0 && writes(id, 0xD3) > 2; }));
    EXPECT_FALSE(dlg->engine.emergencyStop.load());
    EXPECT_TRUE(waitUntil([&] { return dlg->windowTitle() != QString::fromUtf8("急停按钮被触发!"); }));
}

// Unplugged while its dialog is open: OK writes nothing and brings no cell back, even before the
// window knows which board went.
TEST_F(OfflineMaster, OkAfterItsBoardWasUnpluggedChangesNothing)
{
    plug2x3();
    std::chrono::steady_clock::time_point ok;
    about([&](QDialog* d) {
        bus.unplug(id);
        ASSERT_TRUE(waitUntil([&] { return dlg->grid.GetColumns() == 0; }));
        ok = std::chrono::steady_clock::now();
        click(d, CAboutDlgHarrowinHID::IDC_OK);
    });
    EXPECT_LT(std::chrono::steady_clock::now() - ok, std::chrono::milliseconds(500)) << "OK ran the board's initialisation on a dead board";
    EXPECT_EQ(dlg->grid.GetColumns(), 0);
    EXPECT_EQ(dlg->grid.GetRows(), 0);
    EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("设备已经断开"));
}

} // namespace
