#include "shell/ui/SettingsDialog.h"

#include "app/AppConfig.h"
#include "app/InterfaceLanguage.h"
#include "app/ui/DialogRegistry.h"
#include "player/PictureSoundOptions.h"
#include "player/SubtitlePreference.h"

#include <QEvent>
#include <QMouseEvent>

#include <cstdlib>

SettingsDialog *SettingsDialog::instance()
{
    return DialogRegistry::instanceOf<SettingsDialog>();
}

SettingsDialog::SettingsDialog(PictureSoundOptions *pictureSound, QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
    , m_pictureSound(pictureSound)
{
    setupUi(this);
    connect(closePushButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(clipboardMonitorCheckBox, &QCheckBox::clicked, this, &SettingsDialog::clipboardMonitorCheckBoxClicked);
    connect(hardwareDecodingCheckBox, &QCheckBox::clicked, m_pictureSound, &PictureSoundOptions::setHardwareDecoding);
    connect(brightnessAdjustSlider, &QSlider::valueChanged, this, &SettingsDialog::brightnessAdjustSlider_valueChanged);
    connect(contrastAdjustSlider, &QSlider::valueChanged, this, &SettingsDialog::contrastAdjustSlider_valueChanged);
    connect(saturationAdjustSlider, &QSlider::valueChanged, this, &SettingsDialog::saturationAdjustSlider_valueChanged);
    connect(hueAdjustSlider, &QSlider::valueChanged, this, &SettingsDialog::hueAdjustSlider_valueChanged);
    connect(resetDefaultColorPushButton, &QPushButton::clicked, this, &SettingsDialog::resetDefaultColorPushButtonClicked);

    // After the connections: a stored value other than the form's 50 is applied (and stored
    // again) once, as the slider moves to it.
    clipboardMonitorCheckBox->setChecked(AppConfig::clipboardMonitor() == 1);
    hardwareDecodingCheckBox->setChecked(AppConfig::hardwareDecoding() != 0);
    brightnessAdjustSlider->setValue(int(AppConfig::brightness()));
    contrastAdjustSlider->setValue(int(AppConfig::contrast()));
    saturationAdjustSlider->setValue(int(AppConfig::saturation()));
    hueAdjustSlider->setValue(int(AppConfig::hue()));

    for (QSlider *slider : {brightnessAdjustSlider, contrastAdjustSlider, saturationAdjustSlider, hueAdjustSlider})
        slider->installEventFilter(this);

    // Each language under its own name, whichever is in force.
    languageComboBox->addItem(QStringLiteral("中文"), InterfaceLanguage::Chinese); // untranslated: its own name
    languageComboBox->addItem(QStringLiteral("English"), InterfaceLanguage::English);
    languageComboBox->setCurrentIndex(languageComboBox->findData(InterfaceLanguage::current()));
    connect(languageComboBox, QOverload<int>::of(&QComboBox::activated), this,
            &SettingsDialog::languageComboBoxActivated);

    for (int choice : {SubtitlePreference::Chinese, SubtitlePreference::English, SubtitlePreference::None})
        subtitleLanguageComboBox->addItem(QString(), choice);
    retranslateSubtitleLanguages();
    subtitleLanguageComboBox->setCurrentIndex(subtitleLanguageComboBox->findData(SubtitlePreference::current()));
    connect(subtitleLanguageComboBox, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        SubtitlePreference::set(SubtitlePreference::Choice(subtitleLanguageComboBox->itemData(index).toInt()));
    });
}

void SettingsDialog::retranslateSubtitleLanguages()
{
    subtitleLanguageComboBox->setItemText(0, tr("中文"));
    subtitleLanguageComboBox->setItemText(1, tr("英文"));
    subtitleLanguageComboBox->setItemText(2, tr("不自动选择"));
}

void SettingsDialog::languageComboBoxActivated(int index)
{
    // At once: every open window hears of it and translates itself. Kept for the next starts too,
    // also when this run's language came from the command line.
    const QString language = languageComboBox->itemData(index).toString();
    if (InterfaceLanguage::apply(language))
        AppConfig::setLanguage(language);
    languageComboBox->setCurrentIndex(languageComboBox->findData(InterfaceLanguage::current()));
}

void SettingsDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslateUi(this);
        retranslateSubtitleLanguages();
    }
    MoveableDialog::changeEvent(event);
}

bool SettingsDialog::isColourSlider(QObject *object) const
{
    return object == brightnessAdjustSlider || object == contrastAdjustSlider || object == saturationAdjustSlider
        || object == hueAdjustSlider;
}

bool SettingsDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && isColourSlider(watched)) {
        auto *slider = static_cast<QSlider *>(watched);
        auto *mouse = static_cast<QMouseEvent *>(event);
        const int width = slider->width();
        if (mouse->button() == Qt::LeftButton && width > 0) {
            const int maximum = slider->maximum();
            const int target = qBound(0, int(double(mouse->pos().x()) / width * maximum), maximum);
            // Near the handle the press starts a drag instead.
            if (std::abs(target - slider->value()) > double(maximum) * 6 / width) {
                slider->setValue(target);
                return true;
            }
        }
    }
    return MoveableDialog::eventFilter(watched, event);
}

void SettingsDialog::clipboardMonitorCheckBoxClicked(bool checked)
{
    emit clipboardMonitorSwitched(checked);
    AppConfig::setClipboardMonitor(checked ? 1 : 0);
}

void SettingsDialog::brightnessAdjustSlider_valueChanged(int value) { m_pictureSound->setBrightness(value); }
void SettingsDialog::contrastAdjustSlider_valueChanged(int value) { m_pictureSound->setContrast(value); }
void SettingsDialog::saturationAdjustSlider_valueChanged(int value) { m_pictureSound->setSaturation(value); }
void SettingsDialog::hueAdjustSlider_valueChanged(int value) { m_pictureSound->setHue(value); }

void SettingsDialog::resetDefaultColorPushButtonClicked()
{
    // Each slider's own slot applies and stores its 50; a slider already there has nothing to do.
    for (QSlider *slider : {brightnessAdjustSlider, contrastAdjustSlider, saturationAdjustSlider, hueAdjustSlider})
        slider->setValue(PictureSoundOptions::DefaultColour);
}

QAbstractButton *SettingsDialog::escapeButton() const { return closePushButton; }
