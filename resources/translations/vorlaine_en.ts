<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>脱机运行方式显示每条通道方式</source>
        <translation>Offline: show every channel</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>CAboutDlgHarrowin</name>
    <message>
        <source>使能横列数重设</source>
        <translation>Set rows/cols</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>请输入一个 0 至 255 之间的整数。</source>
        <translation>Please enter an integer between 0 and 255.</translation>
    </message>
</context>
<context>
    <name>CAboutDlgHarrowinHID</name>
    <message>
        <source>启用蜂鸣器</source>
        <translation>Buzzer on</translation>
    </message>
    <message>
        <source>蜂鸣器反转</source>
        <translation>Inverted</translation>
    </message>
    <message>
        <source>第%1列</source>
        <translation>Column %1</translation>
    </message>
    <message>
        <source>脱机主机的单元表最多容纳 %1 个单元，当前 %2 行 × %3 列 = %4 个；请重设行列数。</source>
        <translation>The offline master&apos;s cell map holds at most %1 cells; %2 rows × %3 columns = %4. Please reset the rows and columns.</translation>
    </message>
    <message>
        <source>第%1行第%2列的站号 %3 无效：站号应在 0 至 127 之间，无站的单元填 255。</source>
        <translation>Station number %3 in row %1, column %2 is not valid: station numbers run from 0 to 127; a cell that no station serves takes 255.</translation>
    </message>
</context>
<context>
    <name>CBaseLineDlg</name>
    <message>
        <source>真正需要重新载入？</source>
        <translation>Really load again?</translation>
    </message>
    <message>
        <source>文件不存在</source>
        <translation>The file does not exist</translation>
    </message>
    <message>
        <source>原始数据文件 %1 保存失败：%2</source>
        <translation>The raw-data file %1 could not be saved: %2</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter an integer.</translation>
    </message>
    <message>
        <source>请输入一个 %1 至 %2 之间的整数。</source>
        <translation>Please enter an integer between %1 and %2.</translation>
    </message>
    <message>
        <source>请输入一个数字。</source>
        <translation>Please enter a number.</translation>
    </message>
    <message>
        <source>Read</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Averange</source>
        <translation>Averange</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>按照差异百分比设置上下限</source>
        <translation>Limits by % difference</translation>
    </message>
    <message>
        <source>按照数值设置上下限</source>
        <translation>Limits by value</translation>
    </message>
    <message>
        <source>数值上限=中心值+</source>
        <translation>Upper = centre +</translation>
    </message>
    <message>
        <source>数值下限=中心值-</source>
        <translation>Lower = centre -</translation>
    </message>
    <message>
        <source>坐标值下限</source>
        <translation>Range min</translation>
    </message>
    <message>
        <source>坐标值上限</source>
        <translation>Range max</translation>
    </message>
    <message>
        <source>相似度开关</source>
        <translation>Similarity</translation>
    </message>
    <message>
        <source>设定</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>全部打开</source>
        <translation>All on</translation>
    </message>
    <message>
        <source>全部关闭</source>
        <translation>All off</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>已勾选读数的统计；Cpk 低于 1.33 的通道标红</source>
        <translation>Statistics of the checked readings; channels with Cpk below 1.33 in red</translation>
    </message>
</context>
<context>
    <name>CColorBar</name>
    <message>
        <source>急停</source>
        <translation>E-STOP</translation>
    </message>
</context>
<context>
    <name>CDemoPanel</name>
    <message>
        <source>模拟器</source>
        <translation>Simulator</translation>
    </message>
    <message>
        <source>测试板</source>
        <translation>Boards</translation>
    </message>
    <message>
        <source>%1 已插入</source>
        <translation>%1 plugged in</translation>
    </message>
    <message>
        <source>传感器</source>
        <translation>Sensor</translation>
    </message>
    <message>
        <source>位置</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>放上传感器</source>
        <translation>Lay sensor on</translation>
    </message>
    <message>
        <source>取走传感器</source>
        <translation>Take sensor off</translation>
    </message>
    <message>
        <source>通道</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>通道超限</source>
        <translation>Out of limits</translation>
    </message>
    <message>
        <source>通道短路</source>
        <translation>Short</translation>
    </message>
    <message>
        <source>通道恢复</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>按下急停</source>
        <translation>Press emergency stop</translation>
    </message>
    <message>
        <source>传输延时 (毫秒)</source>
        <translation>Transfer delay (ms)</translation>
    </message>
    <message>
        <source>触点弹跳 (毫秒)</source>
        <translation>Contact bounce (ms)</translation>
    </message>
    <message>
        <source>%1 已插入（仅探测）</source>
        <translation>%1 plugged in (probed only)</translation>
    </message>
    <message>
        <source>窗口只探测这块板，不单独为它测量：只插着它时标题为“设备已经断开”</source>
        <translation>The window only probes this board and does not measure with it on its own: with only this board plugged in, the title reads “Board disconnected”</translation>
    </message>
</context>
<context>
    <name>CDialogCapView</name>
    <message>
        <source>摄像头抓取</source>
        <translation>Camera capture</translation>
    </message>
    <message>
        <source>抓图</source>
        <translation>Grab</translation>
    </message>
    <message>
        <source>等待下一帧……</source>
        <translation>Waiting for the next frame…</translation>
    </message>
    <message>
        <source>未找到摄像头</source>
        <translation>No camera found</translation>
    </message>
    <message>
        <source>抓图已取消：%1 秒内没有收到图像</source>
        <translation>Grab cancelled: no frame within %1 s</translation>
    </message>
</context>
<context>
    <name>CRecordsRangeDlg</name>
    <message>
        <source>导出测试记录</source>
        <translation>Export test records</translation>
    </message>
    <message>
        <source>开始时间</source>
        <translation>From</translation>
    </message>
    <message>
        <source>结束时间</source>
        <translation>To</translation>
    </message>
</context>
<context>
    <name>CResetRowColDlg</name>
    <message>
        <source>每行分配数</source>
        <translation>Per row</translation>
    </message>
    <message>
        <source>每列分配数</source>
        <translation>Per column</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter an integer.</translation>
    </message>
    <message>
        <source>请输入一个 %1 至 %2 之间的整数。</source>
        <translation>Please enter an integer between %1 and %2.</translation>
    </message>
</context>
<context>
    <name>CSampleGrabberCB</name>
    <message>
        <source>抓图失败：没有图像</source>
        <translation>Grab failed: no picture</translation>
    </message>
    <message>
        <source>已保存 %1</source>
        <translation>Saved %1</translation>
    </message>
    <message>
        <source>抓图失败：%1：%2</source>
        <translation>Grab failed: %1: %2</translation>
    </message>
    <message>
        <source>抓图失败：%1 中已没有空闲的编号（grab%2.bmp 已用）</source>
        <translation>Grab failed: no free number left in %1 (grab%2.bmp is taken)</translation>
    </message>
</context>
<context>
    <name>CVorlaineDlg</name>
    <message>
        <source>一拖一基础版本V1</source>
        <translation>One-to-one basic V1</translation>
    </message>
    <message>
        <source>一拖一升级版本V2</source>
        <translation>One-to-one upgraded V2</translation>
    </message>
    <message>
        <source>一拖一之[一号机]</source>
        <translation>One-to-one [machine 1]</translation>
    </message>
    <message>
        <source>一拖一之[二号机]</source>
        <translation>One-to-one [machine 2]</translation>
    </message>
    <message>
        <source>一拖一之[三号机]</source>
        <translation>One-to-one [machine 3]</translation>
    </message>
    <message>
        <source>一拖一之[四号机]</source>
        <translation>One-to-one [machine 4]</translation>
    </message>
    <message>
        <source>一拖一之[五号机]</source>
        <translation>One-to-one [machine 5]</translation>
    </message>
    <message>
        <source>经典版本</source>
        <translation>Classic</translation>
    </message>
    <message>
        <source>配置文件(*.ini);;所有文件(*)</source>
        <translation>Configuration files (*.ini);;All files (*)</translation>
    </message>
    <message>
        <source>配置文件 %1 无法载入：ROW=%2, COL=%3 超出范围（每项 0 到 10，ROW × COL 不超过 64）。</source>
        <translation>The configuration file %1 cannot be loaded: ROW=%2, COL=%3 out of range (each 0 to 10, ROW × COL at most 64).</translation>
    </message>
    <message>
        <source>配置文件 %1 保存失败：%2</source>
        <translation>The configuration file %1 could not be saved: %2</translation>
    </message>
    <message>
        <source>关于 Vorlaine(&amp;A)...</source>
        <translation>About &amp;Vorlaine...</translation>
    </message>
    <message>
        <source>无法打开设备 %1：没有访问权限。

请安装随附的 udev 规则 resources/70-vorlaine.rules：

sudo cp resources/70-vorlaine.rules /etc/udev/rules.d/
sudo udevadm control --reload-rules &amp;&amp; sudo udevadm trigger --subsystem-match=hidraw</source>
        <translation>Cannot open the device %1: permission denied.

Please install the shipped udev rule resources/70-vorlaine.rules:

sudo cp resources/70-vorlaine.rules /etc/udev/rules.d/
sudo udevadm control --reload-rules &amp;&amp; sudo udevadm trigger --subsystem-match=hidraw</translation>
    </message>
    <message>
        <source>使能FPC测试菜单已经解锁！</source>
        <translation>The &quot;Enable FPC test&quot; menu item is unlocked!</translation>
    </message>
    <message>
        <source>测试 %1  合格 %2  不良 %3  良率 %4</source>
        <translation>Tested %1  Passed %2  Failed %3  Yield %4</translation>
    </message>
    <message>
        <source>   位置%1: %2/%3/%4</source>
        <translation>   Position %1: %2/%3/%4</translation>
    </message>
    <message>
        <source>测试记录无法写入 %1：%2
记录暂存在内存中，写入恢复后自动保存。</source>
        <translation>Test records cannot be written to %1: %2
They are kept in memory and saved as soon as writing works again.</translation>
    </message>
    <message>
        <source>CSV 文件(*.csv);;所有文件(*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>正在导出测试记录…</source>
        <translation>Exporting test records…</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>测试记录导出失败：%1</source>
        <translation>Exporting the test records failed: %1</translation>
    </message>
    <message>
        <source>已导出 %1 条测试记录到 %2</source>
        <translation>%1 test records exported to %2</translation>
    </message>
    <message>
        <source>配置文件 %1 无法读取：%2</source>
        <translation>The configuration file %1 cannot be read: %2</translation>
    </message>
    <message>
        <source>%1 不是老版本配置文件：缺少 %2。</source>
        <translation>%1 is not an old-format configuration file: %2 missing.</translation>
    </message>
    <message>
        <source>%1 不是配置文件：缺少 %2。</source>
        <translation>%1 is not a configuration file: %2 missing.</translation>
    </message>
    <message>
        <source>这是新版本的配置文件，请用“载入”。</source>
        <translation> It is a current-format configuration file: use “Load”.</translation>
    </message>
    <message>
        <source>这是老版本配置文件，请用“老版本配置载入”。</source>
        <translation> It is an old-format configuration file: use “Load Old-Format Configuration”.</translation>
    </message>
    <message>
        <source>配置文件 %1 中没有以下页面的设置，这些页面取默认值：%2</source>
        <translation>The configuration file %1 has no settings for these pages; they take the default settings: %2</translation>
    </message>
    <message>
        <source>%1 已存在。要替换它吗？</source>
        <translation>%1 already exists. Do you want to replace it?</translation>
    </message>
    <message>
        <source>测试记录数据库仍无法写入，内存中已暂存 %1 条记录；之后的记录保存在文件 %2 中，数据库恢复后自动写回。</source>
        <translation>The test record database still cannot be written and %1 records are held in memory; further records are kept in the file %2 and go into the database by themselves once it can be written again.</translation>
    </message>
    <message>
        <source>
其中 %1 条尚未写入数据库，取自内存或转存文件。</source>
        <translation>
%1 of them are not in the database yet; they were taken from memory or the spill file.</translation>
    </message>
    <message>
        <source>无配置文件</source>
        <translation>No configuration file</translation>
    </message>
    <message>
        <source>设备在下载配置时断开：%1 页中已下载 %2 页。配置文件 %3 已全部载入，设备重新连接后请再次载入，以便下载到设备。</source>
        <translation>The board was unplugged during the download: %2 of %1 pages were sent. Configuration file %3 is loaded in full; load it again once the board is back, so that it reaches the board.</translation>
    </message>
    <message>
        <source>工位 %1</source>
        <translation>Station %1</translation>
    </message>
    <message>
        <source>未保存记录 %1 条</source>
        <translation>%1 records not saved</translation>
    </message>
    <message>
        <source>%1 条记录已转存到 %2</source>
        <translation>%1 records spilled to %2</translation>
    </message>
    <message>
        <source>产线: 无法连接 (%1)</source>
        <translation>Line: cannot connect (%1)</translation>
    </message>
    <message>
        <source>产线: 待发送 %1 条，最早 %2</source>
        <translation>Line: %1 to send, oldest %2</translation>
    </message>
    <message>
        <source>产线: 已同步</source>
        <translation>Line: in sync</translation>
    </message>
    <message>
        <source>产线: 正在连接…</source>
        <translation>Line: connecting…</translation>
    </message>
</context>
<context>
    <name>MainMenu</name>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>载入(&amp;L)</source>
        <translation>&amp;Load</translation>
    </message>
    <message>
        <source>保存(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>老版本配置载入</source>
        <translation>Load Old-Format Configuration</translation>
    </message>
    <message>
        <source>退出(&amp;E)</source>
        <translation>&amp;Exit</translation>
    </message>
    <message>
        <source>操作(&amp;O)</source>
        <translation>&amp;Operations</translation>
    </message>
    <message>
        <source>设备类型</source>
        <translation>Device Type</translation>
    </message>
    <message>
        <source>普通版</source>
        <translation>Basic</translation>
    </message>
    <message>
        <source>一号机</source>
        <translation>Machine 1</translation>
    </message>
    <message>
        <source>二号机</source>
        <translation>Machine 2</translation>
    </message>
    <message>
        <source>三号机</source>
        <translation>Machine 3</translation>
    </message>
    <message>
        <source>四号机</source>
        <translation>Machine 4</translation>
    </message>
    <message>
        <source>五号机</source>
        <translation>Machine 5</translation>
    </message>
    <message>
        <source>使能FPC测试</source>
        <translation>Enable FPC Test</translation>
    </message>
    <message>
        <source>清除绿色标记</source>
        <translation>Clear Green Marks</translation>
    </message>
    <message>
        <source>蜂鸣器</source>
        <translation>Buzzer</translation>
    </message>
    <message>
        <source>使能</source>
        <translation>Enable</translation>
    </message>
    <message>
        <source>反转</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>创建视频窗口</source>
        <translation>Camera Window</translation>
    </message>
    <message>
        <source>帮助(&amp;A)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>关于(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>导出测试记录…</source>
        <translation>Export Test Records…</translation>
    </message>
    <message>
        <source>计数清零</source>
        <translation>Reset Counters</translation>
    </message>
</context>
<context>
    <name>ReleaseHistory</name>
    <message>
        <source>增加五号机设备类型，修正设备切换后未重新初始化的问题;</source>
        <translation>Machine 5 device type; a board is initialised again after a device type change;</translation>
    </message>
    <message>
        <source>急停状态下关闭全部输出并在标题栏提示;</source>
        <translation>All outputs off during an emergency stop, shown in the title bar;</translation>
    </message>
    <message>
        <source>脱机版本支持读取工位分布表;</source>
        <translation>Offline master: reads the station map;</translation>
    </message>
    <message>
        <source>蜂鸣器增加反转选项;</source>
        <translation>Buzzer invert option;</translation>
    </message>
    <message>
        <source>增加清除绿色标记菜单;</source>
        <translation>Menu item to clear the green marks;</translation>
    </message>
    <message>
        <source>FPC测试模式下已触碰通道显示为绿色;</source>
        <translation>FPC test mode shows touched channels in green;</translation>
    </message>
    <message>
        <source>基准对话框支持按百分比和按数值设置上下限;</source>
        <translation>Baseline dialog sets limits by percentage and by value;</translation>
    </message>
    <message>
        <source>增加相似度（皮尔逊系数）判定;</source>
        <translation>Similarity (Pearson coefficient) verdict;</translation>
    </message>
    <message>
        <source>老版本配置文件载入;</source>
        <translation>Loading of old-format configuration files;</translation>
    </message>
    <message>
        <source>配置文件增加数据范围设置;</source>
        <translation>Data range in configuration files;</translation>
    </message>
    <message>
        <source>修正多工位时页号计算错误;</source>
        <translation>Fixed the page number with several stations;</translation>
    </message>
    <message>
        <source>Kelspire 主板支持五个工位轮询;</source>
        <translation>Kelspire master polls five stations;</translation>
    </message>
    <message>
        <source>增加视频窗口及单帧抓图;</source>
        <translation>Camera window and frame grabs;</translation>
    </message>
    <message>
        <source>设备信息对话框显示固件日期;</source>
        <translation>Device information dialog shows the firmware date;</translation>
    </message>
    <message>
        <source>支持 ClassicTester 通道测试仪;</source>
        <translation>ClassicTester channel tester supported;</translation>
    </message>
    <message>
        <source>修正拔出设备后界面不刷新的问题;</source>
        <translation>Fixed the window not refreshing after a board was unplugged;</translation>
    </message>
    <message>
        <source>增加 USB 设备插入自动连接;</source>
        <translation>Boards connect automatically when plugged in;</translation>
    </message>
    <message>
        <source>网格界面支持最多十行十列;</source>
        <translation>Grid of up to ten rows and ten columns;</translation>
    </message>
    <message>
        <source>双击通道切换屏蔽状态;</source>
        <translation>Double-click a channel to switch it off and on;</translation>
    </message>
    <message>
        <source>整体判定全部通过时显示大号 PASS;</source>
        <translation>Large PASS when every sensor passes;</translation>
    </message>
    <message>
        <source>判定结果增加 LOAD 状态;</source>
        <translation>LOAD verdict;</translation>
    </message>
    <message>
        <source>通道条显示上下限区域及基准标记;</source>
        <translation>Channel bars show the limit zones and the reference mark;</translation>
    </message>
    <message>
        <source>修正数据范围为零时的显示问题;</source>
        <translation>Fixed the display of an empty data range;</translation>
    </message>
    <message>
        <source>增加 OEM 版本识别;</source>
        <translation>OEM board recognition;</translation>
    </message>
    <message>
        <source>支持一号机至四号机设备类型;</source>
        <translation>Device types machine 1 to 4;</translation>
    </message>
    <message>
        <source>增加保存配置文件功能;</source>
        <translation>Saving configuration files;</translation>
    </message>
    <message>
        <source>配置文件按页保存上下限和屏蔽;</source>
        <translation>Configuration files keep limits and masks per page;</translation>
    </message>
    <message>
        <source>增加原始数据文件记录;</source>
        <translation>Raw-data file;</translation>
    </message>
    <message>
        <source>读取板卡基准值和上下限;</source>
        <translation>Reads the board&apos;s reference and limits;</translation>
    </message>
    <message>
        <source>下载上下限到测试板;</source>
        <translation>Downloads the limits to the tester board;</translation>
    </message>
    <message>
        <source>工作线程连续采集测量值;</source>
        <translation>Worker thread reads the channels continuously;</translation>
    </message>
    <message>
        <source>增加通过、失败输出控制;</source>
        <translation>Pass and fail outputs;</translation>
    </message>
    <message>
        <source>主界面改为可调整大小;</source>
        <translation>Resizable main window;</translation>
    </message>
    <message>
        <source>增加设备断开提示;</source>
        <translation>Message when a board is disconnected;</translation>
    </message>
    <message>
        <source>支持 32 通道显示;</source>
        <translation>32 channels shown;</translation>
    </message>
    <message>
        <source>第一个版本;</source>
        <translation>First version;</translation>
    </message>
</context>
<context>
    <name>about</name>
    <message>
        <source>关于 Vorlaine</source>
        <translation>About Vorlaine</translation>
    </message>
    <message>
        <source>%1年%2月%3日</source>
        <translation>%1-%2-%3</translation>
    </message>
    <message>
        <source>作者</source>
        <translation>Author</translation>
    </message>
    <message>
        <source>设备标识号</source>
        <translation>Device ID</translation>
    </message>
    <message>
        <source>产品序列号</source>
        <translation>Serial no.</translation>
    </message>
    <message>
        <source>固件版本</source>
        <translation>FW version</translation>
    </message>
    <message>
        <source>固件日期</source>
        <translation>FW date</translation>
    </message>
    <message>
        <source>固件信息</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>开机LCD LOGO</source>
        <translation>Boot LCD logo</translation>
    </message>
    <message>
        <source>版本信息</source>
        <translation>Release history</translation>
    </message>
    <message>
        <source>列</source>
        <translation>Col</translation>
    </message>
    <message>
        <source>行</source>
        <translation>Row</translation>
    </message>
    <message>
        <source>蜂鸣器状态</source>
        <translation>Buzzer</translation>
    </message>
    <message>
        <source>清急停</source>
        <translation>Clear E-stop</translation>
    </message>
    <message>
        <source>重设行列数</source>
        <translation>Rows/cols</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>activity</name>
    <message>
        <source>下载基线设置…</source>
        <translation>Downloading the baseline…</translation>
    </message>
    <message>
        <source>正在读取设备信息…</source>
        <translation>Reading the board information…</translation>
    </message>
    <message>
        <source>正在写入设备设置…</source>
        <translation>Writing the board settings…</translation>
    </message>
    <message>
        <source>正在初始化 Drovane 脱机版本…</source>
        <translation>Initialising the Drovane offline board…</translation>
    </message>
    <message>
        <source>下载配置</source>
        <translation>Downloading configuration</translation>
    </message>
    <message>
        <source>正在查找设备…</source>
        <translation>Looking for boards…</translation>
    </message>
    <message>
        <source>正在初始化 Drovane…</source>
        <translation>Initialising Drovane…</translation>
    </message>
    <message>
        <source>正在初始化 Kelspire…</source>
        <translation>Initialising Kelspire…</translation>
    </message>
    <message>
        <source>正在初始化 ClassicTester…</source>
        <translation>Initialising ClassicTester…</translation>
    </message>
</context>
<context>
    <name>title</name>
    <message>
        <source>Drovane 设备已经连接</source>
        <translation>Drovane board connected</translation>
    </message>
    <message>
        <source>Kelspire 设备已经连接</source>
        <translation>Kelspire board connected</translation>
    </message>
    <message>
        <source>Drovane 脱机版本设备已经连接</source>
        <translation>Drovane offline board connected</translation>
    </message>
    <message>
        <source>ClassicTester 设备已经连接</source>
        <translation>ClassicTester connected</translation>
    </message>
    <message>
        <source>设备已经断开</source>
        <translation>Board disconnected</translation>
    </message>
    <message>
        <source>急停按钮被触发!</source>
        <translation>Emergency stop pressed!</translation>
    </message>
    <message>
        <source>USB设备已经插入</source>
        <translation>USB device plugged in</translation>
    </message>
</context>
</TS>
