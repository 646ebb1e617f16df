<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>UpdateCheckError</name>
    <message>
        <source>The update server did not answer in time.</source>
        <translation>更新服务器未能及时响应。</translation>
    </message>
    <message>
        <source>The update server&apos;s answer is too large.</source>
        <translation>更新服务器的响应过大。</translation>
    </message>
    <message>
        <source>The update server&apos;s answer could not be read: %1</source>
        <translation>无法读取更新服务器的响应：%1</translation>
    </message>
</context>
<context>
    <name>UpdateInfo</name>
    <message>
        <source>the key &quot;%1&quot; is missing</source>
        <translation>缺少键“%1”</translation>
    </message>
    <message>
        <source>the key &quot;%1&quot; is not a text</source>
        <translation>键“%1”不是文本</translation>
    </message>
    <message>
        <source>the answer is not a JSON object</source>
        <translation>响应不是 JSON 对象</translation>
    </message>
</context>
<context>
    <name>routereel::AppDelegate</name>
    <message>
        <source>1 export is running and %1 more are queued. Quitting will cancel all of them.</source>
        <translation>1 个导出正在进行，另有 %1 个在排队。退出将取消全部导出。</translation>
    </message>
    <message>
        <source>An export is currently running. Quitting will cancel it.</source>
        <translation>有一个导出正在进行。退出将取消它。</translation>
    </message>
    <message>
        <source>1 export is queued. Quitting will discard it.</source>
        <translation>有 1 个导出在排队。退出将丢弃它。</translation>
    </message>
    <message>
        <source>%1 exports are queued. Quitting will discard them.</source>
        <translation>有 %1 个导出在排队。退出将丢弃它们。</translation>
    </message>
    <message>
        <source>Exports in Progress</source>
        <translation>导出进行中</translation>
    </message>
    <message>
        <source>Cancel Exports &amp; Quit</source>
        <translation>取消导出并退出</translation>
    </message>
    <message>
        <source>Keep Running</source>
        <translation>继续运行</translation>
    </message>
    <message>
        <source>The running export did not stop within %1 s of quitting; ffmpeg was killed.</source>
        <translation>退出后正在进行的导出未在 %1 秒内停止，已强制结束 ffmpeg。</translation>
    </message>
</context>
<context>
    <name>routereel::ApplicationMenus</name>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>编辑(&amp;E)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>routereel Help</source>
        <translation>routereel 帮助</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>检查更新…</translation>
    </message>
    <message>
        <source>About routereel</source>
        <translation>关于 routereel</translation>
    </message>
    <message>
        <source>Close Window</source>
        <translation>关闭窗口</translation>
    </message>
    <message>
        <source>Website: </source>
        <translation>网站：</translation>
    </message>
    <message>
        <source>Author: </source>
        <translation>作者：</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>版本 %1</translation>
    </message>
</context>
<context>
    <name>routereel::QuitWait</name>
    <message>
        <source>Quitting once these are carried out:</source>
        <translation>完成以下操作后退出：</translation>
    </message>
    <message>
        <source>Quit Now</source>
        <translation>立即退出</translation>
    </message>
    <message>
        <source>Nothing moved for %1 seconds.</source>
        <translation>已有 %1 秒没有任何进展。</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>The user quit without waiting.</source>
        <translation>用户未等待即退出。</translation>
    </message>
</context>
<context>
    <name>routereel::SingleInstance</name>
    <message>
        <source>routereel is already running but does not answer. Close it, or end it, and try again.</source>
        <translation>routereel 已在运行，但没有响应。请关闭或结束它，然后重试。</translation>
    </message>
</context>
<context>
    <name>routereel::UpdateChecker</name>
    <message>
        <source>Update Available</source>
        <translation>有可用更新</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>Skip This Version</source>
        <translation>跳过此版本</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>以后再说</translation>
    </message>
    <message>
        <source>You&apos;re up to date</source>
        <translation>已是最新版本</translation>
    </message>
    <message>
        <source>routereel %1 is the latest version.</source>
        <translation>routereel %1 已是最新版本。</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Could not check for updates</source>
        <translation>无法检查更新</translation>
    </message>
</context>
</TS>
