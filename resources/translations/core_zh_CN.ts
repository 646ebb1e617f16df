<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ExportError</name>
    <message>
        <source>Source video no longer exists on disk:
%1

The file referenced by the project has been moved or deleted. Reload the video and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FFmpeg runtime unavailable. The bundled copy could not be used, and no system FFmpeg was found.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to render overlay frames</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export cancelled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 has no libx264 H.264 encoder. Install an FFmpeg built with libx264.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ExportOutputTransaction</name>
    <message>
        <source>Choose an export location different from your source files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not create a temporary folder in %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FFmpeg finished without writing a video file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not save the video as %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ExportStartError</name>
    <message>
        <source>Import GPX before exporting.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot export: no video has been loaded.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Video metadata is still loading. Please wait a moment and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>GPX track extends beyond video (%1). Trim or remove excess segments before exporting.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing to export yet: a loaded video and a GPX track are needed (in Overlay mode, a GPX track on the timeline).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Video resolution is invalid; please reload the video.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No widgets are enabled. Enable at least one (Map / Path / Time / Speed) before exporting.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ExportTask</name>
    <message>
        <source>Overlay</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GPXParserError</name>
    <message>
        <source>GPX file not found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to parse GPX file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The track contains invalid coordinates.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Some track points have missing or invalid timestamps. Use a track with complete timestamps, or no timestamps.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Track timestamps must be in order and span no more than 31 days.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GPXServiceError</name>
    <message>
        <source>GPX file contains no track points</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The track file is too large (more than 256 MiB).</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ProjectDocument</name>
    <message>
        <source>The project contains invalid timeline or widget values.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TimelineFilterGraphError</name>
    <message>
        <source>Invalid output frame rate: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The video timeline has no clip that can be exported.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TimelinePlayer</name>
    <message>
        <source>Cannot play %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Utf8TextFile</name>
    <message>
        <source>Cannot read the file: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is not UTF-8 text.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VideoExporter</name>
    <message>
        <source>FFmpeg could not be started: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stopped after %1 of %2 frames</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VideoReadError</name>
    <message>
        <source>Cannot read video file %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VideoTimelineError</name>
    <message>
        <source>Cannot load video: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>XmlTrackReader</name>
    <message>
        <source>The file nests its elements too deeply to be a track.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file has an element with too many attributes to be a track.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file defines its own XML entities or attributes, which no track file does.</source>
        <translation>该文件自行定义了 XML 实体或属性，轨迹文件不会这样做。</translation>
    </message>
</context>
<context>
    <name>routereel</name>
    <message>
        <source>Some resources referenced by this project were not found:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Video: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>GPX files (%1):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>These files may have been moved or deleted. Reload them or open a different project before exporting.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>an object</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a whole number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>true or false</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a list of two numbers (width, height)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>routereel::ExportQueue</name>
    <message>
        <source>Export Queued</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Output: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Cancelled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Elapsed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Complete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removed from queue: </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>routereel::HeartRateGraphOverlayView</name>
    <message>
        <source>♥</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>routereel::ProjectCodingError</name>
    <message>
        <source>The file is not a routereel project: it is not valid JSON (%1 at byte %2).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is not a routereel project: its content must be a JSON object.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The project file cannot be read: &quot;%1&quot; must be %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The project file cannot be read: the required value &quot;%1&quot; is missing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The project file cannot be read: the required value &quot;%1&quot; is null.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The project file cannot be read: &quot;%1&quot; is not a valid identifier (UUID).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The project cannot be saved: the value &quot;%1&quot; is not a finite number.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>routereel::ProjectSession</name>
    <message>
        <source>Video file missing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>GPX files missing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>These GPX files referenced by the project no longer exist; related timeline segments were skipped:
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; is too large to be a routereel project (the limit is %2 MB).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The project file &quot;%1&quot; cannot be read: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This project was saved by a newer version of routereel (v%1). Please update the app and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Project</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last session kept as a backup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The last session could not be restored. Its file was copied to:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last session saved by newer version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save last session failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The project cannot be saved to &quot;%1&quot;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save Project</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cannot load video: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The track &quot;%1&quot; could not be loaded: %2</source>
        <translation>无法加载轨迹“%1”：%2</translation>
    </message>
</context>
<context>
    <name>routereel::TimelineEngine</name>
    <message>
        <source>Trim</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snap</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Split</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Align Tracks to Zero</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>routereel::VideoExporter</name>
    <message>
        <source>Export Complete!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
