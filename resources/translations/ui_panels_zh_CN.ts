<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CacheClearError</name>
    <message>
        <source>The item is no longer a folder; it was left alone.</source>
        <translation>该项目已不再是文件夹，未作改动。</translation>
    </message>
    <message>
        <source>The item belongs to another user; it was left alone.</source>
        <translation>该项目属于其他用户，未作改动。</translation>
    </message>
    <message>
        <source>Some files could not be deleted.</source>
        <translation>部分文件无法删除。</translation>
    </message>
</context>
<context>
    <name>SettingsPanelView</name>
    <message>
        <source>Show Map</source>
        <translation>显示地图</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>Style</source>
        <translation>样式</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>尺寸</translation>
    </message>
    <message>
        <source>Opacity</source>
        <translation>不透明度</translation>
    </message>
    <message>
        <source>Padding</source>
        <translation>内边距</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>宽度</translation>
    </message>
    <message>
        <source>Height</source>
        <translation>高度</translation>
    </message>
    <message>
        <source>Show heart icon</source>
        <translation>显示心形图标</translation>
    </message>
    <message>
        <source>Show min and max</source>
        <translation>显示最低和最高</translation>
    </message>
    <message>
        <source>Widget Position</source>
        <translation>组件位置</translation>
    </message>
    <message>
        <source>Reset to Default</source>
        <translation>恢复默认</translation>
    </message>
    <message>
        <source>Enabled</source>
        <translation>启用</translation>
    </message>
    <message>
        <source>Expanded</source>
        <translation>已展开</translation>
    </message>
    <message>
        <source>Collapsed</source>
        <translation>已收起</translation>
    </message>
    <message>
        <source>Provider</source>
        <translation>地图来源</translation>
    </message>
    <message>
        <source>Orientation</source>
        <translation>方向</translation>
    </message>
    <message>
        <source>W</source>
        <translation>宽</translation>
    </message>
    <message>
        <source>H</source>
        <translation>高</translation>
    </message>
    <message>
        <source>Zoom Level</source>
        <translation>缩放级别</translation>
    </message>
    <message>
        <source>Corner Radius</source>
        <translation>圆角半径</translation>
    </message>
    <message>
        <source>Set Token...</source>
        <translation>设置令牌...</translation>
    </message>
    <message>
        <source>Unit</source>
        <translation>单位</translation>
    </message>
    <message>
        <source>Font Size</source>
        <translation>字号</translation>
    </message>
</context>
<context>
    <name>routereel::CacheSheet</name>
    <message>
        <source>Map Tile Cache</source>
        <translation>地图瓦片缓存</translation>
    </message>
    <message>
        <source>Export Temp</source>
        <translation>导出临时文件</translation>
    </message>
    <message numerus="yes">
        <source>%n files  ·  %1</source>
        <translation>
            <numerusform>%n 个文件  ·  %1</numerusform>
        </translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>Cannot clear cache while exports are running or queued.</source>
        <translation>有导出正在进行或排队时无法清除缓存。</translation>
    </message>
    <message>
        <source>Total: </source>
        <translation>总计：</translation>
    </message>
    <message>
        <source>Cache Management</source>
        <translation>缓存管理</translation>
    </message>
    <message>
        <source>Scanning cache...</source>
        <translation>正在扫描缓存...</translation>
    </message>
    <message>
        <source>No cache data found</source>
        <translation>未找到缓存数据</translation>
    </message>
    <message>
        <source>Exports running — cache locked</source>
        <translation>导出进行中 — 缓存已锁定</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Clear %1</source>
        <translation>清除%1</translation>
    </message>
    <message>
        <source>Cached Items</source>
        <translation>缓存项目</translation>
    </message>
</context>
<context>
    <name>routereel::ExportHistoryPopover</name>
    <message>
        <source>Remove from queue</source>
        <translation>从队列中移除</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>在文件夹中显示</translation>
    </message>
    <message>
        <source>queued</source>
        <translation>排队中</translation>
    </message>
    <message>
        <source>completed · %1</source>
        <translation>已完成 · %1</translation>
    </message>
    <message>
        <source>failed · %1</source>
        <translation>失败 · %1</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>Running</source>
        <translation>进行中</translation>
    </message>
    <message numerus="yes">
        <source>Queued (%n)</source>
        <translation>
            <numerusform>排队中 (%n)</numerusform>
        </translation>
    </message>
    <message>
        <source>History</source>
        <translation>历史</translation>
    </message>
    <message>
        <source>Export Tasks</source>
        <translation>导出任务</translation>
    </message>
    <message>
        <source>Clear History</source>
        <translation>清除历史</translation>
    </message>
    <message>
        <source>No export tasks yet</source>
        <translation>暂无导出任务</translation>
    </message>
    <message>
        <source>Export Task List</source>
        <translation>导出任务列表</translation>
    </message>
</context>
<context>
    <name>routereel::ExportQueueBar</name>
    <message>
        <source>Run %1</source>
        <translation>已运行 %1</translation>
    </message>
    <message>
        <source>Run %1 · ETA %2</source>
        <translation>已运行 %1 · 剩余 %2</translation>
    </message>
    <message>
        <source>Export tasks</source>
        <translation>导出任务</translation>
    </message>
    <message>
        <source>Cancel current export</source>
        <translation>取消当前导出</translation>
    </message>
    <message>
        <source>No active exports</source>
        <translation>没有进行中的导出</translation>
    </message>
    <message>
        <source>Export progress</source>
        <translation>导出进度</translation>
    </message>
</context>
<context>
    <name>routereel::LogSheet</name>
    <message numerus="yes">
        <source>%n entries</source>
        <translation>
            <numerusform>%n 条记录</numerusform>
        </translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>No log entries</source>
        <translation>没有日志条目</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Log Entries</source>
        <translation>日志条目</translation>
    </message>
</context>
<context>
    <name>routereel::PreviewAreaView</name>
    <message>
        <source>Import Files to Get Started</source>
        <translation>导入文件以开始</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>预览</translation>
    </message>
    <message>
        <source>The video with the overlay widgets at the playhead. Click a widget to select it, drag it to move it, press Delete to hide it.</source>
        <translation>播放头处带叠加组件的视频。点击组件以选中，拖动以移动，按 Delete 键隐藏。</translation>
    </message>
    <message>
        <source>Map</source>
        <translation>地图</translation>
    </message>
    <message>
        <source>GPS path</source>
        <translation>GPS 轨迹</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>速度</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Heart rate</source>
        <translation>心率</translation>
    </message>
    <message>
        <source>Heart rate graph</source>
        <translation>心率图</translation>
    </message>
    <message>
        <source>Overlay widget; drag to move it.</source>
        <translation>叠加组件；拖动以移动。</translation>
    </message>
</context>
</TS>
