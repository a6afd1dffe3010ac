#pragma once

#include "app/ui/MoveableDialog.h"
#include "ui_SubtitleSettingDialog.h"

class SubtitleOptions;

// Loads an external subtitle into the playing video and adjusts it. A view of SubtitleOptions:
// every change of a widget goes there, and the widgets show its choices when the dialog is made.
class SubtitleSettingDialog : public MoveableDialog, private Ui::SubtitleSettingDialog
{
    Q_OBJECT

public:
    SubtitleSettingDialog(SubtitleOptions *subtitles, QWidget *parent);
    QAbstractButton *escapeButton() const override;

    // The one dialog, created on first use over the main window and re-centred on every call.
    static SubtitleSettingDialog *instance();

private slots:
    void subtitleFilePathLineEditTextChanged(const QString &filePath);
    void browseSubtitleFilePushButtonClicked();
    void subtitleMoveUpPushButtonClicked();
    void subtitleMoveDownPushButtonClicked();
    void subtitleMoveLeftPushButtonClicked();
    void subtitleMoveRightPushButtonClicked();
    void subtitleSwitchComboBoxCurrentIndexChanged(int index);
    void subtitleDelayComboBoxCurrentIndexChanged(int index);
    void subtitleSizeComboBoxCurrentIndexChanged(int index);
    void subtitleDelayMillisecondsLineEditTextChanged(const QString &milliseconds);

protected:
    // A new interface language: the form's texts again, the chosen file kept.
    void changeEvent(QEvent *event) override;

private:
    SubtitleOptions *m_subtitles;
    QString m_formatHint;
};
