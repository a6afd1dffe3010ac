#pragma once

#include "resources/BTResourceFile.h"
#include "ui_BTResourceParseResultListItemWidget.h"

#include <QWidget>

// One video file of a parsed resource, with its reload, download and play buttons. The address
// resolution fills the row's own copy of the file step by step.
class BTResourceParseResultListItemWidget : public QWidget, private Ui::BTResourceParseResultListItemWidget
{
    Q_OBJECT

public:
    explicit BTResourceParseResultListItemWidget(const BTResourceFile &file, QWidget *parent = nullptr);

    BTResourceFile &file() { return m_file; }
    void setButtonsEnabled(bool enabled);

signals:
    void downloadFile(BTResourceParseResultListItemWidget *widget);
    void playFile(BTResourceParseResultListItemWidget *widget, bool reload);

public slots:
    void playPushButton_clicked();
    void reloadPushButton_clicked();
    void downloadPushButton_clicked();

protected:
    // A new interface language: the form's texts again.
    void changeEvent(QEvent *event) override;

private:
    BTResourceFile m_file;
};
