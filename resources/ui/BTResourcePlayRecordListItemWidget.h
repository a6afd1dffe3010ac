#pragma once

#include "resources/BTResourceFile.h"
#include "ui_BTResourcePlayRecordListItemWidget.h"

#include <QWidget>

// One play record: the file's name, where it was left ("看到 12:34") when a position is kept, and
// its play and delete buttons.
class BTResourcePlayRecordListItemWidget : public QWidget, private Ui::BTResourcePlayRecordListItemWidget
{
    Q_OBJECT

public:
    explicit BTResourcePlayRecordListItemWidget(const BTResourceFile &file, QWidget *parent = nullptr);

    const BTResourceFile &file() const { return m_file; }
    void setPlayEnabled(bool enabled) { playPushButton->setEnabled(enabled); }
    void clickPlay() { playPushButton->click(); }
    // 0: none kept.
    void setKeptPosition(int ms);
    int keptPosition() const { return m_keptMs; }

signals:
    void playFile(BTResourcePlayRecordListItemWidget *widget);
    void deleteFile(BTResourcePlayRecordListItemWidget *widget);

public slots:
    void playPushButton_clicked() { emit playFile(this); }
    void deletePushButton_clicked() { emit deleteFile(this); }

protected:
    // A new interface language: the form's texts again.
    void changeEvent(QEvent *event) override;

private:
    void showKeptPosition();

    BTResourceFile m_file;
    int m_keptMs = 0;
    int m_nameWidth = 0;
};
