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
#include <QStringList>

#include <memory>

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

// Why a file was not loaded, for either format; nothing has changed when this is shown.
QString RefusalText(const QString& path, const ConfigurationRefusal& refusal, bool oldFormat)
{
    if (!refusal.unreadable.empty())
        return QCoreApplication::translate("CVorlaineDlg", "配置文件 %1 无法读取：%2")
            .arg(path, QString::fromStdString(refusal.unreadable));
    if (refusal.missing.empty())
        return QCoreApplication::translate("CVorlaineDlg",
                                           "配置文件 %1 无法载入：ROW=%2, COL=%3 超出范围（每项 0 到 10，"
                                           "ROW × COL 不超过 64）。")
            .arg(path)
            .arg(refusal.rows)
            .arg(refusal.columns);
    QStringList missing;
    for (const std::string& m : refusal.missing)
        missing << QString::fromStdString(m);
    QString text = oldFormat ? QCoreApplication::translate("CVorlaineDlg", "%1 不是老版本配置文件：缺少 %2。")
                             : QCoreApplication::translate("CVorlaineDlg", "%1 不是配置文件：缺少 %2。");
    text = text.arg(path, missing.join(QStringLiteral(", ")));
    if (refusal.otherFormat)
        text += oldFormat ? QCoreApplication::translate("CVorlaineDlg", "这是新版本的配置文件，请用“载入”。")
                          : QCoreApplication::translate("CVorlaineDlg", "这是老版本配置文件，请用“老版本配置载入”。");
    return text;
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
    const QString typed = QFileDialog::getSaveFileName(this, QString(), QString(), FileFilter());
    if (typed.isEmpty())
        return;
    const QString path = WithDefaultExtension(typed);
    // The dialog asked only about the name as typed; with ".ini" it may name another existing file.
    if (path != typed && QFileInfo::exists(path) &&
        QMessageBox::question(this, QStringLiteral("Vorlaine"), tr("%1 已存在。要替换它吗？").arg(path),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    SaveConfigurationTo(path);
}

void CVorlaineDlg::LoadOldConfiguration()
{
    const QString path = AskOpenPath();
    if (!path.isEmpty())
        LoadOldConfigurationFrom(path);
}

bool CVorlaineDlg::LoadConfigurationFrom(const QString& path)
{
    if (BoardsBusy())
        return false; // the command is disabled meanwhile
    ConfigurationRead read = ReadConfigurationFile(path.toStdString());
    if (!read.configuration) {
        QMessageBox::warning(this, QStringLiteral("Vorlaine"), RefusalText(path, read.refusal, false));
        return false;
    }
    DownloadConfiguration(std::make_shared<const Configuration>(std::move(*read.configuration)), path,
                          std::move(read.defaultedPages));
    return true;
}

// Runs on the board thread: each page goes into the table and the grid, then to every connected
// board, as it always has, so that every board sees the same exchanges in the same order. A
// removal stops the downloads, but the table still takes every page of the file.
void CVorlaineDlg::DownloadConfiguration(std::shared_ptr<const Configuration> configuration, QString path,
                                         std::vector<int> defaultedPages)
{
    auto downloaded = std::make_shared<int>(0); // pages sent before a removal, if one came
    auto cut = std::make_shared<bool>(false);
    const int pages = configuration->PageCount();
    const std::uint64_t removals = removals_;
    RunOnBoards(
        BoardWork::Command,
        [this, configuration, downloaded, cut, pages, removals] {
            ApplyConfiguration(*configuration, grid, [&](int page) {
                if (removals_ != removals)
                    *cut = true;
                if (*cut)
                    return;
                ReportActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "下载配置")), page + 1, pages);
                DownloadPage(page);
                ++*downloaded;
            });
        },
        [this, path, defaultedPages, downloaded, cut, pages] {
            NoteConfigurationFile(path);
            if (*cut)
                QMessageBox::warning(this, QStringLiteral("Vorlaine"),
                                     tr("设备在下载配置时断开：%1 页中已下载 %2 页。配置文件 %3 已全部载入，"
                                        "设备重新连接后请再次载入，以便下载到设备。")
                                         .arg(pages)
                                         .arg(*downloaded)
                                         .arg(path));
            if (!defaultedPages.empty()) {
                QStringList names;
                for (const int p : defaultedPages)
                    names << QStringLiteral("PAGE%1").arg(p, 2, 10, QLatin1Char('0'));
                QMessageBox::warning(this, QStringLiteral("Vorlaine"),
                                     tr("配置文件 %1 中没有以下页面的设置，这些页面取默认值：%2")
                                         .arg(path, names.join(QStringLiteral(", "))));
            }
        });
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
    if (BoardsBusy())
        return;
    ConfigurationRefusal refusal;
    if (!LoadOldConfigurationFile(path.toStdString(), &refusal)) {
        QMessageBox::warning(this, QStringLiteral("Vorlaine"), RefusalText(path, refusal, true));
        return;
    }
    NoteConfigurationFile(path);
    RunOnBoards(BoardWork::Command, [this] {
        if (engine.runoffAbsent == 0) {
            ReportActivity(QString::fromUtf8(QT_TRANSLATE_NOOP("activity", "下载配置")));
            ScopedLock guard(engine.runoff.lock);
            DownloadRunoff(engine.runoff, grid);
        }
    });
}
