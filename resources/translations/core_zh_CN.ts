<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ExportError</name>
    <message>
        <source>Source video no longer exists on disk:
%1

The file referenced by the project has been moved or deleted. Reload the video and try again.</source>
        <translation>源视频已不在磁盘上：
%1

项目引用的文件已被移动或删除。请重新载入视频后再试。</translation>
    </message>
    <message>
        <source>FFmpeg runtime unavailable. The bundled copy could not be used, and no system FFmpeg was found.</source>
        <translation>FFmpeg 运行环境不可用：随附的副本无法使用，系统中也未找到 FFmpeg。</translation>
    </message>
    <message>
        <source>Failed to render overlay frames</source>
        <translation>叠加画面渲染失败</translation>
    </message>
    <message>
        <source>Export cancelled</source>
        <translation>导出已取消</translation>
    </message>
    <message>
        <source>%1 has no libx264 H.264 encoder. Install an FFmpeg built with libx264.</source>
        <translation>%1 没有 libx264 H.264 编码器。请安装带有 libx264 的 FFmpeg。</translation>
    </message>
    <message>
        <source>Source video is incomplete:
%1

The file ends before the data its index lists: it is damaged or was not copied whole. Replace it and try again.</source>
        <translation>源视频不完整：
%1

文件在其索引所列的数据之前就结束了：文件已损坏或未完整复制。请替换该文件后再试。</translation>
    </message>
    <message>
        <source>Source video changed since it was loaded:
%1

The file is shorter than its pieces on the timeline, or its picture size or frame rate is different. Reload the video and try again.</source>
        <translation>源视频自载入后已更改：
%1

文件比它在时间线上的片段短，或者画面尺寸或帧率不同。请重新载入视频后再试。</translation>
    </message>
    <message>
        <source>Source video changed while it was being exported:
%1

The file was written to, replaced or removed during the export, so the exported picture could not be trusted and no file was written. Let the file be and try again.</source>
        <translation>源视频在导出过程中被更改：
%1

导出期间该文件被写入、替换或删除，导出的画面无法保证正确，因此没有写入任何文件。请勿改动该文件，然后再试。</translation>
    </message>
    <message>
        <source>The sound of a source video cannot be decoded:
%1

%2

The export would fail on it, or copy sound that cannot be played. Convert the video&apos;s sound, or remove the video from the timeline, and try again.</source>
        <translation>源视频的声音无法解码：
%1

%2

导出会因此失败，或复制无法播放的声音。请转换该视频的声音，或将该视频从时间线上移除，然后再试。</translation>
    </message>
    <message>
        <source>The source video &quot;%1&quot; cannot be read: %2

Its drive or network folder may not be answering. Check that it is connected and try again.</source>
        <translation>无法读取源视频“%1”：%2

它所在的磁盘或网络文件夹可能没有响应。请检查连接后重试。</translation>
    </message>
</context>
<context>
    <name>ExportOutputTransaction</name>
    <message>
        <source>Choose an export location different from your source files.</source>
        <translation>请选择与源文件不同的导出位置。</translation>
    </message>
    <message>
        <source>Could not create a temporary folder in %1: %2</source>
        <translation>无法在 %1 中创建临时文件夹：%2</translation>
    </message>
    <message>
        <source>FFmpeg finished without writing a video file.</source>
        <translation>FFmpeg 已结束，但没有写出视频文件。</translation>
    </message>
    <message>
        <source>Could not save the video as %1: %2</source>
        <translation>无法将视频保存为 %1：%2</translation>
    </message>
    <message>
        <source>Cannot export to %1: it is not a regular file (a folder, a device or a pipe). Choose another export location.</source>
        <translation>无法导出到 %1：它不是普通文件（而是文件夹、设备或管道）。请选择其他导出位置。</translation>
    </message>
</context>
<context>
    <name>ExportStartError</name>
    <message>
        <source>Import GPX before exporting.</source>
        <translation>导出前请先导入 GPX。</translation>
    </message>
    <message>
        <source>Cannot export: no video has been loaded.</source>
        <translation>无法导出：尚未载入视频。</translation>
    </message>
    <message>
        <source>Video metadata is still loading. Please wait a moment and try again.</source>
        <translation>视频元数据仍在载入中，请稍候再试。</translation>
    </message>
    <message>
        <source>GPX track extends beyond video (%1). Trim or remove excess segments before exporting.</source>
        <translation>GPX 轨迹超出了视频范围（%1）。导出前请裁剪或删除多余的片段。</translation>
    </message>
    <message>
        <source>Nothing to export yet: a loaded video and a GPX track are needed (in Overlay mode, a GPX track on the timeline).</source>
        <translation>还没有可导出的内容：需要已载入的视频和一条 GPX 轨迹（叠加模式下需要时间线上的一条 GPX 轨迹）。</translation>
    </message>
    <message>
        <source>Video resolution is invalid; please reload the video.</source>
        <translation>视频分辨率无效，请重新载入视频。</translation>
    </message>
    <message>
        <source>No widgets are enabled. Enable at least one (Map / Path / Time / Speed) before exporting.</source>
        <translation>没有启用任何组件。导出前请至少启用一个（地图 / 路径 / 时间 / 速度）。</translation>
    </message>
</context>
<context>
    <name>ExportTask</name>
    <message>
        <source>Overlay</source>
        <translation>叠加</translation>
    </message>
</context>
<context>
    <name>FFmpegProcess</name>
    <message>
        <source>one of its arguments is %1 KiB long, more than the system allows (%2 KiB)</source>
        <translation>其中一个参数长 %1 KiB，超出系统允许的长度（%2 KiB）</translation>
    </message>
    <message>
        <source>its %1 arguments take %2 KiB, more than the system allows (%3 KiB); export the project in shorter parts</source>
        <translation>其 %1 个参数共占 %2 KiB，超出系统允许的大小（%3 KiB）；请将项目分成较短的几段导出</translation>
    </message>
</context>
<context>
    <name>GPXParserError</name>
    <message>
        <source>GPX file not found</source>
        <translation>找不到 GPX 文件</translation>
    </message>
    <message>
        <source>Failed to parse GPX file</source>
        <translation>无法解析 GPX 文件</translation>
    </message>
    <message>
        <source>The track contains invalid coordinates.</source>
        <translation>轨迹包含无效的坐标。</translation>
    </message>
    <message>
        <source>Some track points have missing or invalid timestamps. Use a track with complete timestamps, or no timestamps.</source>
        <translation>部分轨迹点的时间戳缺失或无效。请使用时间戳完整或完全没有时间戳的轨迹。</translation>
    </message>
    <message>
        <source>Track timestamps must be in order and span no more than 31 days.</source>
        <translation>轨迹时间戳必须按顺序排列，且跨度不超过 31 天。</translation>
    </message>
    <message>
        <source>Cannot read the file: %1</source>
        <translation>无法读取文件：%1</translation>
    </message>
</context>
<context>
    <name>GPXServiceError</name>
    <message>
        <source>GPX file contains no track points</source>
        <translation>GPX 文件不包含任何轨迹点</translation>
    </message>
    <message>
        <source>The track file is too large (more than 256 MiB).</source>
        <translation>轨迹文件过大（超过 256 MiB）。</translation>
    </message>
</context>
<context>
    <name>ProjectCodingError</name>
    <message>
        <source>an object</source>
        <translation>一个对象</translation>
    </message>
    <message>
        <source>a list</source>
        <translation>一个列表</translation>
    </message>
    <message>
        <source>a number</source>
        <translation>一个数字</translation>
    </message>
    <message>
        <source>a whole number</source>
        <translation>一个整数</translation>
    </message>
    <message>
        <source>true or false</source>
        <translation>true 或 false</translation>
    </message>
    <message>
        <source>text</source>
        <translation>文本</translation>
    </message>
    <message>
        <source>a list of two numbers (width, height)</source>
        <translation>由两个数字组成的列表（宽，高）</translation>
    </message>
    <message>
        <source>The file is not a routereel project: it is not valid JSON (%1 at byte %2).</source>
        <translation>该文件不是 routereel 项目：它不是有效的 JSON（第 %2 字节处：%1）。</translation>
    </message>
    <message>
        <source>The file is not a routereel project: its content must be a JSON object.</source>
        <translation>该文件不是 routereel 项目：其内容必须是一个 JSON 对象。</translation>
    </message>
    <message>
        <source>The project file cannot be read: &quot;%1&quot; must be %2.</source>
        <translation>无法读取项目文件：“%1”必须是%2。</translation>
    </message>
    <message>
        <source>The project file cannot be read: the required value &quot;%1&quot; is missing.</source>
        <translation>无法读取项目文件：缺少必需的值“%1”。</translation>
    </message>
    <message>
        <source>The project file cannot be read: the required value &quot;%1&quot; is null.</source>
        <translation>无法读取项目文件：必需的值“%1”为空（null）。</translation>
    </message>
    <message>
        <source>The project file cannot be read: &quot;%1&quot; is not a valid identifier (UUID).</source>
        <translation>无法读取项目文件：“%1”不是有效的标识符（UUID）。</translation>
    </message>
    <message>
        <source>The project cannot be saved: the value &quot;%1&quot; is not a finite number.</source>
        <translation>无法保存项目：值“%1”不是有限数字。</translation>
    </message>
</context>
<context>
    <name>ProjectDocument</name>
    <message>
        <source>The project contains invalid timeline or widget values.</source>
        <translation>项目包含无效的时间线或组件数值。</translation>
    </message>
</context>
<context>
    <name>SoundDecodeCheck</name>
    <message>
        <source>Sound stream %1 (%2): no decoder for it</source>
        <translation>声音流 %1（%2）：没有可用的解码器</translation>
    </message>
    <message>
        <source>Sound stream %1 (%2): %3</source>
        <translation>声音流 %1（%2）：%3</translation>
    </message>
    <message>
        <source>its channels (%1) cannot be mixed to stereo</source>
        <translation>其声道（%1）无法混合为立体声</translation>
    </message>
</context>
<context>
    <name>SoundLayout</name>
    <message>
        <source>%1 channels, more than the %2 that can be mixed</source>
        <translation>%1 个声道，超过可混合的上限 %2 个</translation>
    </message>
</context>
<context>
    <name>TimelineFilterGraphError</name>
    <message>
        <source>Invalid output frame rate: %1</source>
        <translation>无效的输出帧率：%1</translation>
    </message>
    <message>
        <source>The video timeline has no clip that can be exported.</source>
        <translation>视频时间线上没有可导出的片段。</translation>
    </message>
    <message>
        <source>A video path is not absolute: %1</source>
        <translation>视频路径不是绝对路径：%1</translation>
    </message>
</context>
<context>
    <name>TimelinePlayer</name>
    <message>
        <source>The file changed since it was loaded: it now lasts %1 s, and the piece shows it at %2 s.
%3</source>
        <translation>文件自载入后已更改：现在时长 %1 秒，而片段显示它的第 %2 秒。
%3</translation>
    </message>
</context>
<context>
    <name>Utf8TextFile</name>
    <message>
        <source>The file is not UTF-8 text.</source>
        <translation>该文件不是 UTF-8 文本。</translation>
    </message>
</context>
<context>
    <name>VideoExporter</name>
    <message>
        <source>FFmpeg could not be started: %1</source>
        <translation>无法启动 FFmpeg：%1</translation>
    </message>
    <message>
        <source>stopped after %1 of %2 frames</source>
        <translation>在第 %1 帧（共 %2 帧）后停止</translation>
    </message>
    <message>
        <source>ended by signal %1 (%2)</source>
        <translation>被信号 %1 (%2) 终止</translation>
    </message>
    <message>
        <source>exit code %1</source>
        <translation>退出码 %1</translation>
    </message>
    <message>
        <source>Could not write the filter graph to %1: %2</source>
        <translation>无法将滤镜图写入 %1：%2</translation>
    </message>
    <message>
        <source>ffmpeg took no more frames and then did nothing for %1 seconds: the export ended it.</source>
        <translation>ffmpeg 不再接收画面，随后 %1 秒毫无动作：导出已将其结束。</translation>
    </message>
    <message>
        <source>Could not write a piece of a clip to %1: %2</source>
        <translation>无法将片段的一部分写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>VideoImportChain</name>
    <message>
        <source>Cannot load video: %1</source>
        <translation>无法载入视频：%1</translation>
    </message>
</context>
<context>
    <name>VideoReadError</name>
    <message>
        <source>Cannot read video file %1: %2</source>
        <translation>无法读取视频文件 %1：%2</translation>
    </message>
    <message>
        <source>the path is not absolute</source>
        <translation>路径不是绝对路径</translation>
    </message>
    <message>
        <source>the file ends before the data its index lists; it is incomplete or damaged</source>
        <translation>文件在其索引所列的数据之前就结束了；文件不完整或已损坏</translation>
    </message>
    <message>
        <source>its start time of %1 s is none a recording has</source>
        <translation>其起始时间 %1 秒不是任何录像可能有的</translation>
    </message>
    <message>
        <source>its length of %1 s is longer than any recording</source>
        <translation>其时长 %1 秒超过了任何录像的长度</translation>
    </message>
    <message>
        <source>its sound cannot be decoded</source>
        <translation>其声音无法解码</translation>
    </message>
    <message>
        <source>Part of video file %1 cannot be read (%2); the preview skips it.</source>
        <translation>视频文件 %1 有一部分无法读取（%2）；预览将跳过这一部分。</translation>
    </message>
</context>
<context>
    <name>VideoTimelineError</name>
    <message>
        <source>Cannot load video: %1</source>
        <translation>无法载入视频：%1</translation>
    </message>
</context>
<context>
    <name>XmlTrackReader</name>
    <message>
        <source>The file nests its elements too deeply to be a track.</source>
        <translation>该文件的元素嵌套过深，不可能是轨迹文件。</translation>
    </message>
    <message>
        <source>The file has an element with too many attributes to be a track.</source>
        <translation>该文件中有元素的属性过多，不可能是轨迹文件。</translation>
    </message>
    <message>
        <source>The file defines its own XML entities or attributes, which no track file does.</source>
        <translation>该文件自行定义了 XML 实体或属性，轨迹文件不会这样做。</translation>
    </message>
</context>
<context>
    <name>routereel::ExportQueue</name>
    <message>
        <source>Export Failed: </source>
        <translation>导出失败：</translation>
    </message>
</context>
<context>
    <name>routereel::HeartRateGraphOverlayView</name>
    <message>
        <source>♥</source>
        <translation>♥</translation>
    </message>
</context>
<context>
    <name>routereel::ProjectSession</name>
    <message>
        <source>The file &quot;%1&quot; is too large to be a routereel project (the limit is %2 MB).</source>
        <translation>文件“%1”过大，不可能是 routereel 项目（上限为 %2 MB）。</translation>
    </message>
    <message>
        <source>The project file &quot;%1&quot; cannot be read: %2</source>
        <translation>无法读取项目文件“%1”：%2</translation>
    </message>
    <message>
        <source>This project was saved by a newer version of routereel (v%1). Please update the app and try again.</source>
        <translation>此项目由更新版本的 routereel（v%1）保存。请更新应用后再试。</translation>
    </message>
    <message>
        <source>The project cannot be saved to &quot;%1&quot;: %2</source>
        <translation>无法将项目保存到“%1”：%2</translation>
    </message>
    <message>
        <source>Some resources referenced by this project were not found:</source>
        <translation>找不到此项目引用的部分资源：</translation>
    </message>
    <message>
        <source>Video: %1</source>
        <translation>视频：%1</translation>
    </message>
    <message>
        <source>GPX files (%1):</source>
        <translation>GPX 文件（%1 个）：</translation>
    </message>
    <message>
        <source>These files may have been moved or deleted. Reload them or open a different project before exporting.</source>
        <translation>这些文件可能已被移动或删除。导出前请重新载入它们，或打开其他项目。</translation>
    </message>
    <message>
        <source>The track &quot;%1&quot; could not be loaded: %2</source>
        <translation>无法加载轨迹“%1”：%2</translation>
    </message>
    <message>
        <source>The disk did not answer within %1 seconds.</source>
        <translation>磁盘在 %1 秒内没有响应。</translation>
    </message>
    <message>
        <source>Restore the last session</source>
        <translation>恢复上次会话</translation>
    </message>
    <message>
        <source>The window closed first.</source>
        <translation>窗口已先关闭。</translation>
    </message>
    <message>
        <source>Not carried out: %1</source>
        <translation>未执行：%1</translation>
    </message>
    <message>
        <source>Save Project</source>
        <translation>保存项目</translation>
    </message>
    <message>
        <source>Open &quot;%1&quot;</source>
        <translation>打开“%1”</translation>
    </message>
    <message>
        <source>Save Project As &quot;%1&quot;</source>
        <translation>项目另存为“%1”</translation>
    </message>
    <message>
        <source>Nothing moved for %1 seconds when the application quit.</source>
        <translation>应用程序退出时，已有 %1 秒没有任何进展。</translation>
    </message>
</context>
<context>
    <name>routereel::TimelineEngine</name>
    <message>
        <source>Align Tracks to Zero</source>
        <translation>轨道对齐到零点</translation>
    </message>
</context>
<context>
    <name>routereel::VideoExporter</name>
    <message>
        <source>Export Complete!</source>
        <translation>导出完成！</translation>
    </message>
</context>
</TS>
