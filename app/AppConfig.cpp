#include "app/AppConfig.h"

#include <QSettings>

namespace {
const char kFirstLaunch[] = "Application/FirstLaunch";
const char kLanguage[] = "Application/Language";
const char kAutoLogin[] = "Account/AutoLogin";
// The misspelt group and the "Functional" group are stored names that existing files use.
const char kLastAutoShowDayOfYear[] = "AccountOpeartionDialogMiscPage/LastAutoShowDayOfYear";
const char kLatestValue[] = "Volume/LatestValue";
const char kVideoAspectRatio[] = "Player/VideoAspectRatio";
const char kAudioChannelMode[] = "Player/AudioChannelMode";
const char kImageNormalize[] = "Player/ImageNormalize";
const char kRenderMode[] = "Player/RenderMode";
const char kBrightness[] = "Player/Brightness";
const char kContrast[] = "Player/Contrast";
const char kSaturation[] = "Player/Saturation";
const char kHue[] = "Player/Hue";
const char kClipboardMonitor[] = "Player/ClipboardMonitor";
const char kHardwareDecoding[] = "Player/HardwareDecoding";
const char kLatestOpenDirectory[] = "BTResourceFunctionDialogParsePage/LatestOpenDirectory";
const char kEngineComboBoxIndex[] = "BTResourceFunctionDialogParsePage/EngineComboBoxIndex";
const char kLatestRequestVideoDomainsDayOfYear[] =
    "BTResourceFunctionDialogParsePage/LatestRequestVideoDomainsDayOfYear";
const char kDownloadDirectory[] = "BTResourceFunctionalDialogDownloadPage/DownloadDirectory";
const char kServiceHost[] = "Service/Host";
const char kMainWindowGeometry[] = "MainWindow/Geometry";
const char kMainWindowMaximized[] = "MainWindow/Maximized";
} // namespace

QSettings *AppConfig::instance()
{
    static QSettings settings(QStringLiteral("Config.ini"), QSettings::IniFormat);
    return &settings;
}

uint AppConfig::readUInt(const char *key, uint defaultValue)
{
    return instance()->value(QLatin1String(key), defaultValue).toUInt();
}

int AppConfig::readInt(const char *key, int defaultValue)
{
    return instance()->value(QLatin1String(key), defaultValue).toInt();
}

QString AppConfig::readString(const char *key, const QString &defaultValue)
{
    return instance()->value(QLatin1String(key), defaultValue).toString();
}

void AppConfig::write(const char *key, const QVariant &value)
{
    instance()->setValue(QLatin1String(key), value);
}

uint AppConfig::firstLaunch() { return readUInt(kFirstLaunch, 1); }
void AppConfig::setFirstLaunch(uint value) { write(kFirstLaunch, value); }

QString AppConfig::language() { return readString(kLanguage, QStringLiteral("zh")); }
void AppConfig::setLanguage(const QString &value) { write(kLanguage, value); }

uint AppConfig::autoLogin() { return readUInt(kAutoLogin, 0); }
void AppConfig::setAutoLogin(uint value) { write(kAutoLogin, value); }

uint AppConfig::lastAutoShowDayOfYear() { return readUInt(kLastAutoShowDayOfYear, 0); }
void AppConfig::setLastAutoShowDayOfYear(uint value) { write(kLastAutoShowDayOfYear, value); }

uint AppConfig::latestValue(uint defaultValue) { return readUInt(kLatestValue, defaultValue); }
void AppConfig::setLatestValue(uint value) { write(kLatestValue, value); }

QString AppConfig::videoAspectRatio() { return readString(kVideoAspectRatio, QStringLiteral("default")); }
void AppConfig::setVideoAspectRatio(const QString &value) { write(kVideoAspectRatio, value); }

QString AppConfig::audioChannelMode()
{
    return readString(kAudioChannelMode, QStringLiteral("StereoAudioChannel"));
}
void AppConfig::setAudioChannelMode(const QString &value) { write(kAudioChannelMode, value); }

uint AppConfig::imageNormalize() { return readUInt(kImageNormalize, 0); }
void AppConfig::setImageNormalize(uint value) { write(kImageNormalize, value); }

QString AppConfig::renderMode() { return readString(kRenderMode, QStringLiteral("Renderless")); }
void AppConfig::setRenderMode(const QString &value) { write(kRenderMode, value); }

uint AppConfig::brightness() { return readUInt(kBrightness, 50); }
void AppConfig::setBrightness(uint value) { write(kBrightness, value); }
uint AppConfig::contrast() { return readUInt(kContrast, 50); }
void AppConfig::setContrast(uint value) { write(kContrast, value); }
uint AppConfig::saturation() { return readUInt(kSaturation, 50); }
void AppConfig::setSaturation(uint value) { write(kSaturation, value); }
uint AppConfig::hue() { return readUInt(kHue, 50); }
void AppConfig::setHue(uint value) { write(kHue, value); }

uint AppConfig::clipboardMonitor() { return readUInt(kClipboardMonitor, 1); }
void AppConfig::setClipboardMonitor(uint value) { write(kClipboardMonitor, value); }
uint AppConfig::hardwareDecoding() { return readUInt(kHardwareDecoding, 1); }
void AppConfig::setHardwareDecoding(uint value) { write(kHardwareDecoding, value); }

QString AppConfig::latestOpenDirectory() { return readString(kLatestOpenDirectory, QStringLiteral(".")); }
void AppConfig::setLatestOpenDirectory(const QString &value) { write(kLatestOpenDirectory, value); }

int AppConfig::engineComboBoxIndex() { return readInt(kEngineComboBoxIndex, 0); }
void AppConfig::setEngineComboBoxIndex(int value) { write(kEngineComboBoxIndex, value); }

uint AppConfig::latestRequestVideoDomainsDayOfYear() { return readUInt(kLatestRequestVideoDomainsDayOfYear, 0); }
void AppConfig::setLatestRequestVideoDomainsDayOfYear(uint value)
{
    write(kLatestRequestVideoDomainsDayOfYear, value);
}

QString AppConfig::downloadDirectory() { return readString(kDownloadDirectory, QString()); }
void AppConfig::setDownloadDirectory(const QString &value) { write(kDownloadDirectory, value); }

QString AppConfig::serviceHost() { return readString(kServiceHost, QStringLiteral("127.0.0.1:17080")); }
void AppConfig::setServiceHost(const QString &value) { write(kServiceHost, value); }

QString AppConfig::serviceBase()
{
    return QStringLiteral("http://") + serviceHost() + QStringLiteral("/server/");
}

QRect AppConfig::mainWindowGeometry() { return instance()->value(QLatin1String(kMainWindowGeometry)).toRect(); }
void AppConfig::setMainWindowGeometry(const QRect &value) { write(kMainWindowGeometry, value); }

uint AppConfig::mainWindowMaximized() { return readUInt(kMainWindowMaximized, 0); }
void AppConfig::setMainWindowMaximized(uint value) { write(kMainWindowMaximized, value); }
