// The File menu's configuration commands: load, save and the old single-sensor format, with the
// downloads of the loaded pages to every connected board.
#include "classic_routines.h"
#include "configuration_file.h"
#include "cvorlaine_dlg.h"
#include "kelspire_routines.h"
#include "master_routines.h"
#include "runoff_routines.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {
// Older files may carry other extensions: they can still be chosen.
QString FileFilter()
{
    return QCoreApplication::translate("CVorlaineDlg", "配置文件(*.ini);;所有文件(*)");
}

// A name typed without extension gets ".ini", so that the saved file shows under the filter.
QString WithDefaultExtension(const QString& path)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".ini") : path;
}
} // namespace

QString CVorlaineDlg::AskOpenPath()
{
    return QFileDialog::getOpenFileName(this, QString(), QString(), FileFilter());
}

void CVorlaineDlg::LoadConfiguration()
{
    const QString path = AskOpenPath();
    if (!path.isEmpty())
        LoadConfigurationFrom(path);
}

void CVorlaineDlg::SaveConfiguration()
{
    const QString path = QFileDialog::getSaveFileName(this, QString(), QString(), FileFilter());
    if (!path.isEmpty())
        SaveConfigurationTo(WithDefaultExtension(path));
}

void CVorlaineDlg::LoadOldConfiguration()
{
    const QString path = AskOpenPath();
    if (!path.isEmpty())
        LoadOldConfigurationFrom(path);
}

bool CVorlaineDlg::LoadConfigurationFrom(const QString& path)
{
    Profile profile;
    (void)profile.Load(path.toStdString()); // an unreadable file reads as empty, as a missing key gives 0
    const ConfigurationRead read = ReadConfiguration(profile);
    if (!read.configuration) {
        // Nothing changes: the grid and the page table could not hold it.
        QMessageBox::warning(this, QStringLiteral("Vorlaine"),
                             tr("配置文件 %1 无法载入：ROW=%2, COL=%3 超出范围（每项 0 到 10，"
                                               "ROW × COL 不超过 64）。")
                                 .arg(path)
                                 .arg(read.refusal.rows)
                                 .arg(read.refusal.columns));
        return false;
    }
    ApplyConfiguration(*read.configuration, grid, [this](int page) { DownloadPage(page); });
    NoteConfigurationFile(path);
    return true;
}

// Each download holds its board's lock throughout, so the worker's exchanges with that board
// never fall between the download's reports.
void CVorlaineDlg::DownloadPage(int page)
{
    if (engine.classicAbsent == 0) {
        ScopedLock guard(engine.classic.lock);
        DownloadClassic(engine.classic);
    }
    if (engine.masterAbsent == 0) {
        ScopedLock guard(engine.master.lock);
        DownloadMasterPage(engine.master, page);
    }
    if (engine.kelspireAbsent == 0) {
        ScopedLock guard(engine.kelspire.lock);
        DownloadKelspirePage(engine.kelspire, page);
    }
    if (engine.runoffAbsent == 0) {
        ScopedLock guard(engine.runoff.lock);
        DownloadRunoff(engine.runoff, grid);
    }
}

bool CVorlaineDlg::SaveConfigurationTo(const QString& path)
{
    std::string error;
    if (SaveConfigurationFile(path.toStdString(), grid, &error)) {
        NoteConfigurationFile(path); // the limits in force are now this file's
        return true;
    }
    QMessageBox::warning(this, QStringLiteral("Vorlaine"),
                         tr("配置文件 %1 保存失败：%2").arg(path, QString::fromStdString(error)));
    return false;
}

void CVorlaineDlg::LoadOldConfigurationFrom(const QString& path)
{
    (void)LoadOldConfigurationFile(path.toStdString());
    NoteConfigurationFile(path);
    if (engine.runoffAbsent == 0) {
        ScopedLock guard(engine.runoff.lock);
        DownloadRunoff(engine.runoff, grid);
    }
}
