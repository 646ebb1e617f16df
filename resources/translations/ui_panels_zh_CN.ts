<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
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
</TS>
