#pragma once

#include "resources/BTResourceFile.h"
#include "ui_BTResourceCollectionListItemWidget.h"

#include <QWidget>

// One collected file: the name the user gave, with play, copy-link and delete buttons.
class BTResourceCollectionListItemWidget : public QWidget, private Ui::BTResourceCollectionListItemWidget
{
    Q_OBJECT

public:
    BTResourceCollectionListItemWidget(const BTResourceFile &file, quint32 id, QWidget *parent = nullptr);

    const BTResourceFile &file() const { return m_file; }
    quint32 id() const { return m_id; }
    void setPlayEnabled(bool enabled) { playPushButton->setEnabled(enabled); }

signals:
    void playFile(BTResourceCollectionListItemWidget *widget);
    void copyURL(BTResourceCollectionListItemWidget *widget);
    void deleteFile(BTResourceCollectionListItemWidget *widget);

public slots:
    void playPushButton_clicked() { emit playFile(this); }
    void copyURLPushButtonClicked() { emit copyURL(this); }
    void deletePushButton_clicked() { emit deleteFile(this); }

protected:
    // A new interface language: the form's texts again.
    void changeEvent(QEvent *event) override;

private:
    BTResourceFile m_file;
    quint32 m_id;
};
