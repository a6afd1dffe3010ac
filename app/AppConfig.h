#pragma once

#include <QRect>
#include <QString>
#include <QVariant>

class QSettings;

// The program's persistent settings: Config.ini in the working directory, one QSettings for the
// whole process. Every key has a fixed default; reading never writes the default back.
class AppConfig
{
public:
    static QSettings *instance();

    static uint firstLaunch();
    static void setFirstLaunch(uint value);

    // The interface language chosen in the settings: "zh" (the default) or "en".
    static QString language();
    static void setLanguage(const QString &value);

    static uint autoLogin();
    static void setAutoLogin(uint value);

    static uint lastAutoShowDayOfYear();
    static void setLastAutoShowDayOfYear(uint value);

    static uint latestValue(uint defaultValue);
    static void setLatestValue(uint value);

    static QString videoAspectRatio();
    static void setVideoAspectRatio(const QString &value);

    static QString audioChannelMode();
    static void setAudioChannelMode(const QString &value);

    static uint imageNormalize();
    static void setImageNormalize(uint value);

    static QString renderMode();
    static void setRenderMode(const QString &value);

    static uint brightness();
    static void setBrightness(uint value);
    static uint contrast();
    static void setContrast(uint value);
    static uint saturation();
    static void setSaturation(uint value);
    static uint hue();
    static void setHue(uint value);

    static uint clipboardMonitor();
    static void setClipboardMonitor(uint value);
    // "硬件解码": 1 (the default) or 0.
    static uint hardwareDecoding();
    static void setHardwareDecoding(uint value);

    static QString latestOpenDirectory();
    static void setLatestOpenDirectory(const QString &value);

    static int engineComboBoxIndex();
    static void setEngineComboBoxIndex(int value);

    static uint latestRequestVideoDomainsDayOfYear();
    static void setLatestRequestVideoDomainsDayOfYear(uint value);

    static QString downloadDirectory();
    static void setDownloadDirectory(const QString &value);

    // Host and port of the web service; the service base is "http://" + host + "/server/".
    static QString serviceHost();
    static void setServiceHost(const QString &value);
    static QString serviceBase();

    // The main window's place and size when not maximised (null until first kept), and whether it
    // was maximised.
    static QRect mainWindowGeometry();
    static void setMainWindowGeometry(const QRect &value);
    static uint mainWindowMaximized();
    static void setMainWindowMaximized(uint value);

private:
    static uint readUInt(const char *key, uint defaultValue);
    static int readInt(const char *key, int defaultValue);
    static QString readString(const char *key, const QString &defaultValue);
    static void write(const char *key, const QVariant &value);
};
