#include "notices/ui/ReportDialog.h"

#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QButtonGroup>
#include <QEvent>
#include <QNetworkReply>

ReportDialog::ReportDialog(ServiceClient *client, QWidget *parent)
    : QDialog(parent)
    , m_client(client)
    , m_categoryGroup(new QButtonGroup(this))
{
    setupUi(this);
    submitPushButton->setDefault(true); // Enter, also from the hash field
    m_categoryGroup->setExclusive(true);
    m_categoryGroup->addButton(baoKongRadioButton, 0);
    m_categoryGroup->addButton(seQingRadioButton, 1);
    m_categoryGroup->addButton(fanDongRadioButton, 2);
    m_categoryGroup->addButton(xueXingRadioButton, 3);

    connect(submitPushButton, &QPushButton::clicked, this, &ReportDialog::submitPushButton_clicked);
    connect(cancelPushButton, &QPushButton::clicked, this, &QDialog::close);
}

void ReportDialog::setHash(const QString &hash)
{
    hashLineEdit->setText(hash);
}

QString ReportDialog::hash() const
{
    return hashLineEdit->text();
}

QString ReportDialog::categoryText(int id)
{
    // The service's names of the categories, in every interface language.
    switch (id) {
    case 0:
        return QStringLiteral("暴恐"); // untranslated: the service's name
    case 1:
        return QStringLiteral("色情"); // untranslated: the service's name
    case 2:
        return QStringLiteral("反动"); // untranslated: the service's name
    case 3:
        return QStringLiteral("血腥"); // untranslated: the service's name
    default:
        return QString();
    }
}

void ReportDialog::submitPushButton_clicked()
{
    const int id = m_categoryGroup->checkedId();
    if (id < 0)
        return;

    QNetworkReply *reply = m_client->send(Endpoints::report(hashLineEdit->text(), categoryText(id)));
    // Nobody reads the answer; the reply only has to go away once it is complete.
    if (reply)
        connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    close();
}

void ReportDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi(this);
    QDialog::changeEvent(event);
}
