#include "release_history.h"

#include <QCoreApplication>

#include <iterator>

std::string releaseHistory;

namespace {
struct Release {
    const char* date;
    const char* version;
    const char* text;
};

// Newest first.
constexpr Release RELEASES[] = {
    {"2013/11/20", "1.3.1.37", QT_TRANSLATE_NOOP("ReleaseHistory", "增加五号机设备类型，修正设备切换后未重新初始化的问题;")},
    {"2013/11/11", "1.3.1.36", QT_TRANSLATE_NOOP("ReleaseHistory", "急停状态下关闭全部输出并在标题栏提示;")},
    {"2013/10/30", "1.3.1.35", QT_TRANSLATE_NOOP("ReleaseHistory", "脱机版本支持读取工位分布表;")},
    {"2013/10/13", "1.3.1.34", QT_TRANSLATE_NOOP("ReleaseHistory", "蜂鸣器增加反转选项;")},
    {"2013/10/07", "1.3.1.33", QT_TRANSLATE_NOOP("ReleaseHistory", "增加清除绿色标记菜单;")},
    {"2013/09/16", "1.3.1.32", QT_TRANSLATE_NOOP("ReleaseHistory", "FPC测试模式下已触碰通道显示为绿色;")},
    {"2013/09/02", "1.3.1.31", QT_TRANSLATE_NOOP("ReleaseHistory", "基准对话框支持按百分比和按数值设置上下限;")},
    {"2013/08/24", "1.3.1.30", QT_TRANSLATE_NOOP("ReleaseHistory", "增加相似度（皮尔逊系数）判定;")},
    {"2013/08/12", "1.3.1.29", QT_TRANSLATE_NOOP("ReleaseHistory", "老版本配置文件载入;")},
    {"2013/07/26", "1.3.1.28", QT_TRANSLATE_NOOP("ReleaseHistory", "配置文件增加数据范围设置;")},
    {"2013/07/20", "1.3.1.27", QT_TRANSLATE_NOOP("ReleaseHistory", "修正多工位时页号计算错误;")},
    {"2013/06/29", "1.3.1.26", QT_TRANSLATE_NOOP("ReleaseHistory", "Kelspire 主板支持五个工位轮询;")},
    {"2013/06/15", "1.3.1.25", QT_TRANSLATE_NOOP("ReleaseHistory", "增加视频窗口及单帧抓图;")},
    {"2013/06/06", "1.3.1.24", QT_TRANSLATE_NOOP("ReleaseHistory", "设备信息对话框显示固件日期;")},
    {"2013/05/25", "1.3.1.23", QT_TRANSLATE_NOOP("ReleaseHistory", "支持 ClassicTester 通道测试仪;")},
    {"2013/05/08", "1.3.1.22", QT_TRANSLATE_NOOP("ReleaseHistory", "修正拔出设备后界面不刷新的问题;")},
    {"2013/05/02", "1.3.1.21", QT_TRANSLATE_NOOP("ReleaseHistory", "增加 USB 设备插入自动连接;")},
    {"2013/04/11", "1.3.1.20", QT_TRANSLATE_NOOP("ReleaseHistory", "网格界面支持最多十行十列;")},
    {"2013/03/28", "1.3.1.19", QT_TRANSLATE_NOOP("ReleaseHistory", "双击通道切换屏蔽状态;")},
    {"2013/03/19", "1.3.1.18", QT_TRANSLATE_NOOP("ReleaseHistory", "整体判定全部通过时显示大号 PASS;")},
    {"2013/03/07", "1.3.1.17", QT_TRANSLATE_NOOP("ReleaseHistory", "判定结果增加 LOAD 状态;")},
    {"2013/02/18", "1.3.1.16", QT_TRANSLATE_NOOP("ReleaseHistory", "通道条显示上下限区域及基准标记;")},
    {"2013/02/12", "1.3.1.15", QT_TRANSLATE_NOOP("ReleaseHistory", "修正数据范围为零时的显示问题;")},
    {"2013/01/22", "1.3.1.14", QT_TRANSLATE_NOOP("ReleaseHistory", "增加 OEM 版本识别;")},
    {"2013/01/08", "1.3.1.13", QT_TRANSLATE_NOOP("ReleaseHistory", "支持一号机至四号机设备类型;")},
    {"2012/12/30", "1.3.1.12", QT_TRANSLATE_NOOP("ReleaseHistory", "增加保存配置文件功能;")},
    {"2012/12/18", "1.3.1.11", QT_TRANSLATE_NOOP("ReleaseHistory", "配置文件按页保存上下限和屏蔽;")},
    {"2012/12/01", "1.3.1.10", QT_TRANSLATE_NOOP("ReleaseHistory", "增加原始数据文件记录;")},
    {"2012/11/25", "1.3.1.9", QT_TRANSLATE_NOOP("ReleaseHistory", "读取板卡基准值和上下限;")},
    {"2012/11/04", "1.3.1.8", QT_TRANSLATE_NOOP("ReleaseHistory", "下载上下限到测试板;")},
    {"2012/10/21", "1.3.1.7", QT_TRANSLATE_NOOP("ReleaseHistory", "工作线程连续采集测量值;")},
    {"2012/10/12", "1.3.1.6", QT_TRANSLATE_NOOP("ReleaseHistory", "增加通过、失败输出控制;")},
    {"2012/09/30", "1.3.1.5", QT_TRANSLATE_NOOP("ReleaseHistory", "主界面改为可调整大小;")},
    {"2012/09/13", "1.3.1.4", QT_TRANSLATE_NOOP("ReleaseHistory", "增加设备断开提示;")},
    {"2012/09/07", "1.3.1.3", QT_TRANSLATE_NOOP("ReleaseHistory", "支持 32 通道显示;")},
    {"2012/08/17", "1.3.1.2", QT_TRANSLATE_NOOP("ReleaseHistory", "第一个版本;")},
};
} // namespace

void BuildReleaseHistory()
{
    releaseHistory.clear();
    for (const Release& r : RELEASES) {
        releaseHistory += std::string(r.date) + ";Ver " + r.version + ";\r\n";
        releaseHistory += QCoreApplication::translate("ReleaseHistory", r.text).toStdString() + "\r\n";
        releaseHistory += std::string(42, '-') + "\r\n";
    }
}

int ReleaseHistoryEntries()
{
    return static_cast<int>(std::size(RELEASES));
}
