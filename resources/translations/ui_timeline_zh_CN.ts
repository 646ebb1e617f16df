<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>routereel::GPXLaneView</name>
    <message>
        <source>GPX lane</source>
        <translation>GPX 轨道</translation>
    </message>
    <message>
        <source>Track segments on the timeline. Click to select, drag to move, drag an edge to trim, double-click to close the gap to the segment before.</source>
        <translation>时间线上的轨迹片段。单击选择，拖动移动，拖动边缘裁剪，双击与前一片段对齐。</translation>
    </message>
</context>
<context>
    <name>routereel::PlayheadCanvas</name>
    <message>
        <source>Playhead</source>
        <translation>播放头</translation>
    </message>
    <message>
        <source>The current time on the timeline.</source>
        <translation>时间线上的当前时间。</translation>
    </message>
</context>
<context>
    <name>routereel::RulerView</name>
    <message>
        <source>Time ruler</source>
        <translation>时间标尺</translation>
    </message>
    <message>
        <source>Times from the timeline&apos;s origin. Click or drag to move the playhead.</source>
        <translation>从时间线原点起算的时间。单击或拖动以移动播放头。</translation>
    </message>
</context>
<context>
    <name>routereel::TimelineHeader</name>
    <message>
        <source>Timeline rows</source>
        <translation>时间线行</translation>
    </message>
    <message>
        <source>Time, Video, GPX</source>
        <translation>时间、Video、GPX</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
</context>
<context>
    <name>routereel::TimelineToolbar</name>
    <message>
        <source>Zoom out</source>
        <translation>缩小</translation>
    </message>
    <message>
        <source>Zoom in</source>
        <translation>放大</translation>
    </message>
    <message>
        <source>Align Tracks to Zero</source>
        <translation>轨道对齐到零点</translation>
    </message>
    <message>
        <source>Align video and GPX tracks to zero</source>
        <translation>将视频和 GPX 轨道对齐到零点</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>回到起点</translation>
    </message>
    <message>
        <source>Split</source>
        <translation>分割</translation>
    </message>
    <message>
        <source>Split selected video or GPX segment at playhead (Ctrl+B)</source>
        <translation>在播放头处分割所选视频或 GPX 片段 (Ctrl+B)</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Delete selected segment</source>
        <translation>删除所选片段</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>撤销</translation>
    </message>
    <message>
        <source>Undo (Ctrl+Z)</source>
        <translation>撤销 (Ctrl+Z)</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>重做</translation>
    </message>
    <message>
        <source>Redo (Ctrl+Shift+Z)</source>
        <translation>重做 (Ctrl+Shift+Z)</translation>
    </message>
    <message>
        <source>Zoom</source>
        <translation>缩放</translation>
    </message>
    <message>
        <source>Clear Markers</source>
        <translation>清除标记</translation>
    </message>
    <message>
        <source>/</source>
        <translation>/</translation>
    </message>
    <message>
        <source>%1 seg</source>
        <translation>%1 段</translation>
    </message>
    <message>
        <source>More timeline controls</source>
        <translation>更多时间线控件</translation>
    </message>
</context>
<context>
    <name>routereel::TimelineView</name>
    <message>
        <source>Timeline</source>
        <translation>时间线</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>This will remove the video and all GPX segments.</source>
        <translation>这将移除视频和所有 GPX 片段。</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>routereel::VideoLaneView</name>
    <message>
        <source>Video lane</source>
        <translation>视频轨道</translation>
    </message>
    <message>
        <source>Video segments on the timeline. Click to select, drag to move, drag an edge to trim, double-click to close the gap to the segment before; the context menu sets a marker at the playhead.</source>
        <translation>时间线上的视频片段。单击选择，拖动移动，拖动边缘裁剪，双击与前一片段对齐；右键菜单可在播放头处设置标记。</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>标记</translation>
    </message>
</context>
</TS>
