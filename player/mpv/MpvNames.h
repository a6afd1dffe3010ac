#pragma once

// Names of the libmpv options, properties and commands the engine uses, in one place.
namespace MpvProperty {
inline constexpr char Vo[] = "vo";
inline constexpr char Ao[] = "ao";
inline constexpr char Idle[] = "idle";
inline constexpr char Pause[] = "pause";
inline constexpr char CoreIdle[] = "core-idle";
inline constexpr char PausedForCache[] = "paused-for-cache";
inline constexpr char CacheBufferingState[] = "cache-buffering-state";
inline constexpr char Duration[] = "duration";
inline constexpr char TimePos[] = "time-pos";
inline constexpr char Volume[] = "volume";
inline constexpr char VideoDecAspect[] = "video-dec-params/aspect";
inline constexpr char VideoTrackDemuxWidth[] = "current-tracks/video/demux-w";
inline constexpr char VideoTrackDemuxHeight[] = "current-tracks/video/demux-h";
inline constexpr char VideoTrackDemuxPar[] = "current-tracks/video/demux-par";
inline constexpr char VideoAspectOverride[] = "video-aspect-override";
inline constexpr char Brightness[] = "brightness";
inline constexpr char Contrast[] = "contrast";
inline constexpr char Saturation[] = "saturation";
inline constexpr char Hue[] = "hue";
inline constexpr char Deband[] = "deband";
inline constexpr char Sharpen[] = "sharpen";
inline constexpr char Scale[] = "scale";
inline constexpr char ChromaScale[] = "cscale";
inline constexpr char DownScale[] = "dscale";
inline constexpr char CorrectDownscaling[] = "correct-downscaling";
inline constexpr char SigmoidUpscaling[] = "sigmoid-upscaling";
inline constexpr char DitherDepth[] = "dither-depth";
inline constexpr char SubExternalFilename[] = "current-tracks/sub/external-filename";
inline constexpr char SubId[] = "current-tracks/sub/id";
inline constexpr char SubVisibility[] = "sub-visibility";
inline constexpr char SubPos[] = "sub-pos";
inline constexpr char SubAlignX[] = "sub-align-x";
inline constexpr char SubMarginX[] = "sub-margin-x";
inline constexpr char SubFont[] = "sub-font";
inline constexpr char SubFontSize[] = "sub-font-size";
inline constexpr char SubDelay[] = "sub-delay";
inline constexpr char SubText[] = "sub-text";
inline constexpr char HttpHeaderFields[] = "http-header-fields";
inline constexpr char Cache[] = "cache";
inline constexpr char CacheOnDisk[] = "cache-on-disk";
inline constexpr char CacheDir[] = "cache-dir";
inline constexpr char CacheUnlinkFiles[] = "cache-unlink-files";
// Seconds buffered before playback resumes after a stall; the stream's measured rate.
inline constexpr char CachePauseWait[] = "cache-pause-wait";
inline constexpr char CacheSpeed[] = "cache-speed";
inline constexpr char FileSize[] = "file-size";
inline constexpr char Start[] = "start";
inline constexpr char Speed[] = "speed";
inline constexpr char AudioId[] = "aid";
inline constexpr char SubtitleId[] = "sid";
// track-list/count, then track-list/N/<field>
inline constexpr char TrackList[] = "track-list";
inline constexpr char TrackCount[] = "count";
inline constexpr char TrackType[] = "type";
inline constexpr char TrackId[] = "id";
inline constexpr char TrackLanguage[] = "lang";
inline constexpr char TrackTitle[] = "title";
inline constexpr char TrackSelected[] = "selected";
inline constexpr char TrackExternal[] = "external";
inline constexpr char TrackExternalFilename[] = "external-filename";
inline constexpr char TrackTypeAudio[] = "audio";
inline constexpr char TrackTypeSubtitle[] = "sub";
inline constexpr char TrackOff[] = "no";
inline constexpr char StartNone[] = "none";
// Seconds a network read may wait before the stream gives up on it and reconnects.
inline constexpr char NetworkTimeout[] = "network-timeout";
inline constexpr char Hwdec[] = "hwdec";
inline constexpr char HwdecAutoSafe[] = "auto-safe";
inline constexpr char HwdecOff[] = "no";
// The hardware decoder in use ("no" or empty on the CPU), and the video's codec.
inline constexpr char HwdecCurrent[] = "hwdec-current";
inline constexpr char HwdecInterop[] = "gpu-hwdec-interop";
inline constexpr char HwdecInteropAuto[] = "auto";
inline constexpr char VideoCodec[] = "current-tracks/video/codec";
// The software renderer's scaler: libswscale's own SIMD paths, with its faster flags.
inline constexpr char SwsAllowZimg[] = "sws-allow-zimg";
inline constexpr char SwsFast[] = "sws-fast";
} // namespace MpvProperty

namespace MpvCommand {
inline constexpr char LoadFile[] = "loadfile";
inline constexpr char Stop[] = "stop";
inline constexpr char Seek[] = "seek";
inline constexpr char AudioFilter[] = "af";
inline constexpr char VideoFilter[] = "vf";
inline constexpr char SubAdd[] = "sub-add";
inline constexpr char SubRemove[] = "sub-remove";
// sub-add's flag: the track is added and left unselected.
inline constexpr char SubAddAuto[] = "auto";
inline constexpr char ScreenshotToFile[] = "screenshot-to-file";
// screenshot-to-file's mode: the decoded frame at its own size, no subtitles or OSD.
inline constexpr char ScreenshotVideoOnly[] = "video";
} // namespace MpvCommand
