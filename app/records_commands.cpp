// The main window's test records: what the worker judged goes to the recorder, the status line
// shows the counters, and the File menu exports and resets.
#include "cvorlaine_dlg.h"

#include "grid_observation.h"
#include "line_forwarder.h"
#include "program_version.h"
#include "record_store.h"
#include "records_csv.h"
#include "records_export_dialog.h"
#include "station_recorder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStringList>
#include <QSysInfo>

#include <atomic>
#include <cstring>
#include <thread>

namespace {
constexpr int STATUS_REFRESH_MS = 500;

QString Percent(double value)
{
    return value < 0 ? QStringLiteral("--") : QString::number(value, 'f', 1) + QLatin1Char('%');
}
} // namespace

RecordingOptions& Recording()
{
    static RecordingOptions options;
    return options;
}

void CVorlaineDlg::SetUpRecording()
{
    const RecordingOptions& options = Recording();
    const std::string path = options.storePath.isEmpty() ? RecordStore::DefaultPath() : options.storePath.toStdString();
    const QString station = options.stationId.isEmpty() ? QSysInfo::machineHostName() : options.stationId;
    // The writer's callbacks come on its own thread: the text waits under a lock, the call is queued.
    auto problem = [this](const std::string& message) {
        std::lock_guard lock(recordsProblemMutex_);
        recordsProblem_ = QString::fromStdString(message);
        QMetaObject::invokeMethod(this, "ShowRecordsProblem", Qt::QueuedConnection);
    };
    auto recovered = [this] {
        std::lock_guard lock(recordsProblemMutex_);
        recordsProblem_.clear();
        QMetaObject::invokeMethod(this, "ShowRecordsProblem", Qt::QueuedConnection);
    };
    recorder = std::make_unique<StationRecorder>(path, station.toStdString(), problem, recovered, options.holdMs);
    if (!options.lineConninfo.empty()) {
        // The store is the outbox: the forwarder reads what the recorder's writer stored.
        LineOptions lineOptions;
        lineOptions.conninfo = options.lineConninfo;
        lineOptions.storePath = path;
        lineOptions.station = station.toStdString();
        lineOptions.programVersion = ProgramVersionText().toStdString();
        lineForwarder = std::make_unique<LineForwarder>(std::move(lineOptions));
        lineForwarder->Start();
    }

    if (stationLabel_)
        stationLabel_->setText(tr("工位 %1").arg(station));
    recordsStatusTimer_.setInterval(STATUS_REFRESH_MS);
    connect(&recordsStatusTimer_, &QTimer::timeout, this, [this] { UpdateRecordsStatus(); });
    recordsStatusTimer_.start();
    UpdateRecordsStatus();
}

void CVorlaineDlg::OnPassJudged(std::uint64_t generation, const std::bitset<64>& fresh)
{
    if (!recorder)
        return;
    ObserveGrid(grid, fresh, observed_);
    recorder->Observe(PassTimeNow(), observed_, generation);
}

void CVorlaineDlg::OnBoardsGone()
{
    if (recorder)
        recorder->EndAll(PassTimeNow(), engine.TitleGeneration());
}

void CVorlaineDlg::NoteRecordingBoard()
{
    // The board the grid shows, in the order the connection pass prefers them, named by the
    // one-to-one board's maker tag or the classic tester's device id read at its initialisation,
    // then the device id: the one the information dialog read last, else the worker's.
    std::string kind, prefix;
    if (engine.runoffAbsent == 0) {
        kind = BOARD_ONE_TO_ONE;
        prefix = engine.oemTag;
    } else if (engine.kelspireAbsent == 0) {
        kind = BOARD_SMART_MASTER;
    } else if (engine.masterAbsent == 0) {
        kind = BOARD_OFFLINE_MASTER;
    } else if (engine.classicAbsent == 0) {
        kind = BOARD_CLASSIC;
        prefix = std::string(engine.classic.deviceId.data(), strnlen(engine.classic.deviceId.data(), engine.classic.deviceId.size()));
    }
    const auto known = knownDeviceIds_.find(kind);
    {
        std::lock_guard lock(recordingBoardMutex_);
        recordingKind_ = kind;
        recordingPrefix_ = prefix;
        recordingKnownId_ = known != knownDeviceIds_.end() ? known->second : std::string();
    }
    ApplyRecordingBoard();
}

void CVorlaineDlg::OnDeviceIdRead()
{
    ApplyRecordingBoard();
}

void CVorlaineDlg::ApplyRecordingBoard()
{
    if (!recorder)
        return;
    // Whichever of the UI thread and the worker comes second sets both parts.
    std::lock_guard lock(recordingBoardMutex_);
    const std::string id = recordingKnownId_.empty() ? engine.DeviceId() : recordingKnownId_;
    std::string identity = recordingPrefix_;
    if (!id.empty())
        identity = identity.empty() ? id : identity + " " + id;
    recorder->SetBoard(recordingKind_, identity);
    if (lineForwarder)
        lineForwarder->SetBoard(recordingKind_, identity);
}

void CVorlaineDlg::NoteConfigurationFile(const QString& path)
{
    configurationName_ = QFileInfo(path).fileName();
    if (configurationLabel_)
        configurationLabel_->setToolTip(QFileInfo(path).absoluteFilePath());
    if (!recorder)
        return;
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const std::string hex = file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex().toStdString()
                                                                                    : std::string();
    recorder->SetConfigHash(hex);
    if (lineForwarder)
        lineForwarder->SetConfigHash(hex);
}

QString CVorlaineDlg::LineStatusText() const
{
    if (!lineForwarder)
        return {};
    const LineStatus status = lineForwarder->Status();
    switch (status.state) {
    case LineStatus::State::Unreachable:
        return tr("产线: 无法连接 (%1)").arg(QString::fromStdString(status.reason).trimmed());
    case LineStatus::State::Pending:
        if (status.backlog > 0)
            return tr("产线: 待发送 %1 条，最早 %2")
                .arg(status.backlog)
                .arg(QDateTime::fromMSecsSinceEpoch(status.oldestUnsentMs).toLocalTime().toString(QStringLiteral("hh:mm")));
        return tr("产线: 已同步");
    case LineStatus::State::Synced:
        return tr("产线: 已同步");
    case LineStatus::State::Off:
        break;
    }
    return tr("产线: 正在连接…");
}

QString CVorlaineDlg::RecordsStatusText() const
{
    const QString warning = RecordsWarningText();
    return warning.isEmpty() ? RecordsCountersText() : RecordsCountersText() + QStringLiteral("   ") + warning;
}

QString CVorlaineDlg::RecordsWarningText() const
{
    if (!recorder)
        return {};
    QStringList parts;
    const RecordWriter& writer = recorder->Writer();
    const std::size_t unwritten = writer.Unwritten();
    if (recordsFailing_ && unwritten > 0)
        parts << tr("未保存记录 %1 条").arg(unwritten);
    if (const std::uint64_t spilled = writer.Spilled(); spilled > 0)
        parts << tr("%1 条记录已转存到 %2").arg(spilled).arg(QString::fromStdString(writer.SpillPath()));
    return parts.join(QStringLiteral("   "));
}

QString CVorlaineDlg::RecordsCountersText() const
{
    if (!recorder)
        return {};
    const YieldCount total = recorder->Counters().Total();
    QString text = tr("测试 %1  合格 %2  不良 %3  良率 %4")
                       .arg(total.tested)
                       .arg(total.passed)
                       .arg(total.failed)
                       .arg(Percent(total.YieldPercent()));
    const auto positions = recorder->Counters().PerPosition();
    if (positions.size() > 1) {
        for (const auto& [page, count] : positions)
            text += tr("   位置%1: %2/%3/%4").arg(page + 1).arg(count.tested).arg(count.passed).arg(count.failed);
    }
    return text;
}

void CVorlaineDlg::UpdateRecordsStatus()
{
    if (!recordsStatus_)
        return;
    // A new spill file is told once, with its place, while the station keeps testing.
    const QString spill = recorder ? QString::fromStdString(recorder->Writer().SpillPath()) : QString();
    if (!spill.isEmpty() && spill != announcedSpill_ && !closing_) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vorlaine"),
                                    tr("测试记录数据库仍无法写入，内存中已暂存 %1 条记录；之后的记录保存在文件 %2 中，"
                                       "数据库恢复后自动写回。")
                                        .arg(RecordWriter::MEMORY_BOUND)
                                        .arg(spill),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setTextInteractionFlags(Qt::TextSelectableByMouse); // the path can be copied
        box->open();
    }
    announcedSpill_ = spill;
    const QString text = RecordsCountersText();
    if (text != recordsStatus_->text()) {
        recordsStatus_->setText(text);
        recordsStatus_->setToolTip(text);
    }
    const QString warning = RecordsWarningText();
    if (recordsWarning_ && warning != recordsWarning_->text()) {
        recordsWarning_->setText(warning);
        recordsWarning_->setToolTip(warning);
        recordsWarning_->setVisible(!warning.isEmpty());
    }
}

void CVorlaineDlg::ShowRecordsProblem()
{
    QString problem;
    {
        std::lock_guard lock(recordsProblemMutex_);
        problem = recordsProblem_;
    }
    const bool failing = !problem.isEmpty();
    if (failing && !recordsFailing_ && !closing_ && recorder) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vorlaine"),
                                    tr("测试记录无法写入 %1：%2\n记录暂存在内存中，写入恢复后自动保存。")
                                        .arg(QString::fromStdString(recorder->Writer().Path()), problem),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open(); // the station keeps testing
    }
    recordsFailing_ = failing;
    UpdateRecordsStatus();
}

void CVorlaineDlg::ResetYieldCounters()
{
    if (recorder)
        recorder->Counters().Reset();
    UpdateRecordsStatus();
}

void CVorlaineDlg::ExportTestRecords()
{
    CRecordsRangeDlg range(this);
    if (range.exec() != QDialog::Accepted)
        return;
    // The name says in which zone the range was chosen; the stamps inside are UTC.
    const QString name = QDir::home().filePath(range.SuggestedFileName());
    QString path = QFileDialog::getSaveFileName(this, QString(), name, tr("CSV 文件(*.csv);;所有文件(*)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".csv");
    ExportTestRecordsTo(path, range.SinceMs(), range.UntilMs());
}

bool CVorlaineDlg::ExportTestRecordsTo(const QString& csvPath, std::int64_t sinceMs, std::int64_t untilMs)
{
    if (!recorder)
        return false;
    // What has been judged so far belongs in the export: placements still open are not records yet.
    // Records the store cannot take yet are exported from the writer's memory and spill file.
    recorder->Writer().Flush(std::chrono::seconds(2));

    QProgressDialog progress(tr("正在导出测试记录…"), tr("取消"), 0, 100, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    std::atomic<std::int64_t> done{0}, total{0};
    std::atomic<bool> cancel{false}, finished{false};
    ExportResult result;
    const RecordWriter& writer = recorder->Writer();
    std::thread worker([&] {
        result = ExportRecords(writer, sinceMs, untilMs, csvPath.toStdString(), [&](std::int64_t d, std::int64_t t) {
            done = d;
            total = t;
            return !cancel.load();
        });
        finished = true;
    });
    while (!finished) {
        const std::int64_t t = total;
        progress.setValue(t > 0 ? static_cast<int>(done * 100 / t) : 0);
        if (progress.wasCanceled() || closing_) // the program is ending: no half file, no question
            cancel = true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    progress.reset();
    if (result.cancelled || closing_)
        return result.ok;
    if (!result.ok) {
        QMessageBox::warning(this, QStringLiteral("Vorlaine"),
                             tr("测试记录导出失败：%1").arg(QString::fromStdString(result.error)));
        return false;
    }
    QString text = tr("已导出 %1 条测试记录到 %2").arg(result.rows).arg(csvPath);
    if (result.unstored > 0)
        text += tr("\n其中 %1 条尚未写入数据库，取自内存或转存文件。").arg(result.unstored);
    QMessageBox::information(this, QStringLiteral("Vorlaine"), text);
    return true;
}
