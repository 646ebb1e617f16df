<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>routereel::CompositionModePicker</name>
    <message>
        <source>Regular</source>
        <translation>常规</translation>
    </message>
    <message>
        <source>Overlay</source>
        <translation>叠加层</translation>
    </message>
</context>
<context>
    <name>routereel::ExportAction</name>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>The project&apos;s videos are still loading. Export again once they are in the timeline.</source>
        <translation>项目的视频仍在加载。请在它们出现在时间线上之后再导出。</translation>
    </message>
    <message>
        <source>The export waits for what is still under way: %1. Export again once it has ended.</source>
        <translation>导出需要等待仍在进行的操作：%1。请在其完成后再导出。</translation>
    </message>
    <message>
        <source>Looking for the clips before the export: %1 of %2 answered</source>
        <translation>导出前正在查找片段：%2 个中已有 %1 个应答</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Looking for the clips</source>
        <translation>正在查找片段</translation>
    </message>
    <message>
        <source>Clips answered</source>
        <translation>已应答的片段</translation>
    </message>
</context>
<context>
    <name>routereel::ExportSheet</name>
    <message>
        <source>Estimated: %1</source>
        <translation>预计：%1</translation>
    </message>
    <message>
        <source>Original (%1×%2)</source>
        <translation>原始 (%1×%2)</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Duration follows the GPX timeline. No audio.</source>
        <translation>时长以 GPX 时间轴为准，无音频。</translation>
    </message>
    <message>
        <source>Resolution</source>
        <translation>分辨率</translation>
    </message>
    <message>
        <source>Compression factor</source>
        <translation>压缩系数</translation>
    </message>
    <message>
        <source>1.00 keeps the default export quality. Lower values usually produce smaller files, but may reduce detail.</source>
        <translation>1.00 保持默认导出质量。较低的值通常会生成更小的文件，但可能损失细节。</translation>
    </message>
    <message>
        <source>Smaller file</source>
        <translation>文件更小</translation>
    </message>
    <message>
        <source>Higher quality</source>
        <translation>质量更高</translation>
    </message>
    <message>
        <source>Estimated size varies with video content.</source>
        <translation>预计大小会因视频内容而异。</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>routereel::FeedbackSheet</name>
    <message>
        <source>Feedback</source>
        <translation>反馈</translation>
    </message>
    <message>
        <source>Found a bug or have a feature request? Reach out:</source>
        <translation>发现问题或有功能建议？欢迎联系我们：</translation>
    </message>
    <message>
        <source>Telegram group</source>
        <translation>Telegram 群组</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>routereel::FileImport</name>
    <message>
        <source>Supported files (%1)</source>
        <translation>支持的文件 (%1)</translation>
    </message>
    <message>
        <source>Import &quot;%1&quot;</source>
        <translation>导入“%1”</translation>
    </message>
</context>
<context>
    <name>routereel::MainLayout</name>
    <message>
        <source>Mode</source>
        <translation>模式</translation>
    </message>
</context>
<context>
    <name>routereel::MainToolbar</name>
    <message>
        <source>Switch to Light Mode</source>
        <translation>切换到浅色模式</translation>
    </message>
    <message>
        <source>Switch to Dark Mode</source>
        <translation>切换到深色模式</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>工具栏</translation>
    </message>
    <message>
        <source>Current Project: </source>
        <translation>当前项目：</translation>
    </message>
    <message>
        <source>Open %1</source>
        <translation>打开 %1</translation>
    </message>
    <message>
        <source>Import Video</source>
        <translation>导入视频</translation>
    </message>
    <message>
        <source>Import GPX</source>
        <translation>导入 GPX</translation>
    </message>
    <message>
        <source>Cache</source>
        <translation>缓存</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Feedback</source>
        <translation>反馈</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
</context>
<context>
    <name>routereel::MainWindow</name>
    <message>
        <source>Save Project</source>
        <translation>保存项目</translation>
    </message>
    <message>
        <source>routereel project (*.rrl)</source>
        <translation>routereel 项目 (*.rrl)</translation>
    </message>
    <message>
        <source>Open Project</source>
        <translation>打开项目</translation>
    </message>
    <message>
        <source>routereel project (*.rrl *.RRL)</source>
        <translation>routereel 项目 (*.rrl *.RRL)</translation>
    </message>
    <message>
        <source>routereel</source>
        <translation>routereel</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>导入</translation>
    </message>
</context>
<context>
    <name>routereel::TokenSheet</name>
    <message>
        <source>Mapbox Access Token</source>
        <translation>Mapbox 访问令牌</translation>
    </message>
    <message>
        <source>Enter your Mapbox public token to display the map.</source>
        <translation>输入你的 Mapbox 公共令牌以显示地图。</translation>
    </message>
    <message>
        <source>How to get a Mapbox token →</source>
        <translation>如何获取 Mapbox 令牌 →</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
</context>
<context>
    <name>routereel::WindowAlerts</name>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>View Log</source>
        <translation>查看日志</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Network Error</source>
        <translation>网络错误</translation>
    </message>
    <message>
        <source>Network unavailable. Map tiles cannot be loaded offline.</source>
        <translation>网络不可用。离线时无法载入地图瓦片。</translation>
    </message>
</context>
<context>
    <name>routereel::WindowCommands</name>
    <message>
        <source>Save Project</source>
        <translation>保存项目</translation>
    </message>
    <message>
        <source>Save As New Project…</source>
        <translation>另存为新项目…</translation>
    </message>
    <message>
        <source>Open Project…</source>
        <translation>打开项目…</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>撤销</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>重做</translation>
    </message>
</context>
</TS>
