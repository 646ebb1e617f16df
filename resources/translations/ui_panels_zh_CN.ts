<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
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
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
</context>
</TS>
