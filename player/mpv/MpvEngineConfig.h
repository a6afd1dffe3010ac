#pragma once

#include "player/mpv/MpvAccess.h"

#include <QHash>
#include <QString>

// Translates the engine's numbered text settings into libmpv options and back.
//
// Values and their meaning here:
//  201  render mode "1".."5": scaler presets from fastest to sharpest
//       (1 bilinear everywhere; 2 libmpv's defaults; 3 spline36 with correct downscaling;
//        4 ewa_lanczos luma, spline36 chroma, sigmoid upscaling; 5 ewa_lanczossharp throughout).
//  203  the decoder's aspect ratio as a decimal ("1.777778"), or the container's before the
//       first frame is decoded; empty without video.
//  204  "w;h", "w:h" or a decimal; empty or "-1" removes the override.
//  214-217  0..100 with 50 neutral, mapped to libmpv's -100..100 as (v - 50) * 2.
//  305  "1" = deband plus a mild sharpen, "0" = neither.
//  404  "0" stereo, "1" left to both, "2" right to both, "3" both mixed.
//  503  adds and selects an external subtitle; reads back the loaded file, empty when none;
//       an empty path removes the current external subtitle.
//  504  "1"/"0" subtitle visibility.
//  507  "1;h;v", default "1;50;100": v is the vertical position 0 (top) .. 100 (bottom) .. 150;
//       h is horizontal, 50 centred, below 50 anchored left and above 50 anchored right,
//       6 reference pixels per step away from a 150 pixel margin.
//  508  "font;size;x;y", default "sans-serif;20;0;0": size s becomes a font size of s * 2.75
//       (20 is libmpv's default size 55); x and y are kept as given.
//  509  "ms;1000;1000": subtitle delay in milliseconds, negative is earlier.
//  1105 Cookie header for HTTP requests (the whole value, commas included); empty removes it.
//  2201 a file path; its folder receives the disk cache file (created when missing).
//  2207 "1" turns the disk cache on for the next open, "0" off.
//  2301 "1" hardware decoding where it works (libmpv's safe list), "0" decoding on the CPU.
//  20   the video surface's native window id.
class MpvEngineConfig
{
public:
    explicit MpvEngineConfig(mpv_handle *handle = nullptr) : m_mpv(handle) {}

    void setHandle(mpv_handle *handle) { m_mpv = MpvAccess(handle); }
    void setVideoWindowId(quintptr id) { m_windowId = id; }
    // Where the video is drawn without OpenGL (libmpv's software renderer), colours and the
    // enhancement go through a video filter instead, and are applied again that way now.
    void setPictureFiltered(bool on);

    bool set(int id, const QString &value);
    QString get(int id) const;

    // Whether this machine has a device a hardware decoder could use at all.
    static bool gpuDecoderDevicePresent();
    // libmpv's hwdec value for the user's choice.
    static const char *hardwareDecoderSetting(bool on);

    static QString defaultSubtitlePlacement();
    static QString defaultSubtitleFont();

private:
    bool setRenderMode(const QString &value);
    bool setAspect(const QString &value);
    bool setColour(const char *property, const QString &value);
    bool setEnhancement(const QString &value);
    bool setAudioChannel(const QString &value);
    bool setSubtitleFile(const QString &path);
    bool setSubtitlePlacement(const QString &value);
    bool setSubtitleFont(const QString &value);
    bool setSubtitleDelay(const QString &value);
    bool setCookie(const QString &value);
    bool setCacheFile(const QString &path);
    bool setCacheEnabled(const QString &value);

    void updatePictureFilter();
    QString ownAspect() const;
    QString colour(const char *property) const;

    MpvAccess m_mpv;
    quintptr m_windowId = 0;
    bool m_pictureFiltered = false;
    QHash<int, QString> m_lastSet;
};
