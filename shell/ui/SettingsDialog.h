#pragma once

#include "app/ui/MoveableDialog.h"
#include "ui_SettingsDialog.h"

class PictureSoundOptions;

// The software settings: the clipboard monitor's switch, the boss key (shown, fixed), hardware
// decoding, the language of the resource's subtitles shown by themselves, the four colour sliders, which go through the picture options like the menu's choices,
// and the interface language.
class SettingsDialog : public MoveableDialog, private Ui::SettingsDialog
{
    Q_OBJECT

public:
    // The check box and the sliders take the stored values; a slider moved off its 50 by that
    // applies its value once.
    SettingsDialog(PictureSoundOptions *pictureSound, QWidget *parent);

    // The one dialog, created on first use over the main window and re-centred on every call.
    static SettingsDialog *instance();
    QAbstractButton *escapeButton() const override;

    // Slider presses away from the handle jump there; everything else drags the dialog.
    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    // A new interface language: the form's texts again.
    void changeEvent(QEvent *event) override;

signals:
    // The user switched the clipboard monitor; it must follow at once, before the choice is stored.
    void clipboardMonitorSwitched(bool on);

private slots:
    void clipboardMonitorCheckBoxClicked(bool checked);
    void brightnessAdjustSlider_valueChanged(int value);
    void contrastAdjustSlider_valueChanged(int value);
    void saturationAdjustSlider_valueChanged(int value);
    void hueAdjustSlider_valueChanged(int value);
    void resetDefaultColorPushButtonClicked();
    void languageComboBoxActivated(int index);

private:
    void retranslateSubtitleLanguages();
    bool isColourSlider(QObject *object) const;

    PictureSoundOptions *m_pictureSound;
};
