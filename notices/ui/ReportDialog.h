#pragma once

#include "ui_ReportDialog.h"

#include <QDialog>

class QButtonGroup;
class ServiceClient;

// Reports a resource to the service as objectionable in one of four fixed categories. The report
// goes out without waiting for an answer and the dialog closes at once.
class ReportDialog : public QDialog, private Ui::ReportDialog
{
    Q_OBJECT

public:
    explicit ReportDialog(ServiceClient *client, QWidget *parent = nullptr);

    // The resource hash the report names; shown read-only.
    void setHash(const QString &hash);
    QString hash() const;

    // Category sent for each button id; the button labels may be translated, these may not.
    static QString categoryText(int id);

private slots:
    void submitPushButton_clicked();

protected:
    // A new interface language: the form's texts again.
    void changeEvent(QEvent *event) override;

private:
    ServiceClient *m_client;
    QButtonGroup *m_categoryGroup = nullptr;
};
