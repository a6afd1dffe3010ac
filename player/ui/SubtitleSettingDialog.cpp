#include "player/ui/SubtitleSettingDialog.h"

#include "app/ui/DialogRegistry.h"
#include "player/SubtitleOptions.h"

#include <QDir>
#include <QFileDialog>
#include <QIntValidator>

namespace {

const QString SwitchOn = QStringLiteral("开启");

// The combo boxes' text-carrying index signal, without the deprecated overload.
template <typename Slot> void onItemChanged(QComboBox *box, SubtitleSettingDialog *dialog, Slot slot)
{
    QObject::connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), dialog,
                     [box, dialog, slot](int index) { (dialog->*slot)(box->itemText(index)); });
}

} // namespace

SubtitleSettingDialog *SubtitleSettingDialog::instance()
{
    return DialogRegistry::instanceOf<SubtitleSettingDialog>();
}

SubtitleSettingDialog::SubtitleSettingDialog(SubtitleOptions *subtitles, QWidget *parent)
    : MoveableDialog(parent, Qt::FramelessWindowHint)
    , m_subtitles(subtitles)
{
    setupUi(this);
    m_formatHint = subtitleFilePathLineEdit->text();
    // A dialog made again shows the choices that are still in effect.
    if (!subtitles->filePath().isEmpty())
        subtitleFilePathLineEdit->setText(subtitles->filePath());
    subtitleSwitchComboBox->setCurrentIndex(subtitles->isShown() ? 0 : 1);
    subtitleDelayComboBox->setCurrentIndex(int(subtitles->delayMode()));
    subtitleDelayMillisecondsLineEdit->setText(subtitles->delayMilliseconds());

    connect(closePushButton, &QPushButton::clicked, this, &QWidget::hide);
    connect(subtitleFilePathLineEdit, &QLineEdit::textChanged, this,
            &SubtitleSettingDialog::subtitleFilePathLineEditTextChanged);
    connect(browseSubtitleFilePushButton, &QPushButton::clicked, this,
            &SubtitleSettingDialog::browseSubtitleFilePushButtonClicked);
    connect(subtitleMoveUpPushButton, &QPushButton::clicked, this,
            &SubtitleSettingDialog::subtitleMoveUpPushButtonClicked);
    connect(subtitleMoveDownPushButton, &QPushButton::clicked, this,
            &SubtitleSettingDialog::subtitleMoveDownPushButtonClicked);
    connect(subtitleMoveLeftPushButton, &QPushButton::clicked, this,
            &SubtitleSettingDialog::subtitleMoveLeftPushButtonClicked);
    connect(subtitleMoveRightPushButton, &QPushButton::clicked, this,
            &SubtitleSettingDialog::subtitleMoveRightPushButtonClicked);
    onItemChanged(subtitleSwitchComboBox, this, &SubtitleSettingDialog::subtitleSwitchComboBoxCurrentIndexChanged);
    onItemChanged(subtitleDelayComboBox, this, &SubtitleSettingDialog::subtitleDelayComboBoxCurrentIndexChanged);
    onItemChanged(subtitleSizeComboBox, this, &SubtitleSettingDialog::subtitleSizeComboBoxCurrentIndexChanged);
    connect(subtitleDelayMillisecondsLineEdit, &QLineEdit::textChanged, this,
            &SubtitleSettingDialog::subtitleDelayMillisecondsLineEditTextChanged);

    subtitleSizeComboBox->setCurrentIndex(-1);
    subtitleDelayMillisecondsLineEdit->setValidator(new QIntValidator(subtitleDelayMillisecondsLineEdit));
}

void SubtitleSettingDialog::browseSubtitleFilePushButtonClicked()
{
    const QString filter = QStringLiteral("字幕文件(*.srt *.ass *.ssa *.smi *.idx *.sub *.sup)");
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("浏览字幕文件"), QStringLiteral("."), filter);
    if (file.isEmpty())
        return;
    subtitleFilePathLineEdit->setText(QDir::toNativeSeparators(file));
    subtitleFilePathLineEdit->setCursorPosition(0);
}

void SubtitleSettingDialog::subtitleFilePathLineEditTextChanged(const QString &filePath)
{
    // The format hint the line starts with names no file.
    m_subtitles->setFilePath(filePath == m_formatHint ? QString() : filePath);
}

void SubtitleSettingDialog::subtitleMoveUpPushButtonClicked() { m_subtitles->moveUp(); }
void SubtitleSettingDialog::subtitleMoveDownPushButtonClicked() { m_subtitles->moveDown(); }
void SubtitleSettingDialog::subtitleMoveLeftPushButtonClicked() { m_subtitles->moveLeft(); }
void SubtitleSettingDialog::subtitleMoveRightPushButtonClicked() { m_subtitles->moveRight(); }

void SubtitleSettingDialog::subtitleSwitchComboBoxCurrentIndexChanged(const QString &item)
{
    m_subtitles->setShown(item == SwitchOn);
}

void SubtitleSettingDialog::subtitleDelayComboBoxCurrentIndexChanged(const QString &item)
{
    if (item == QStringLiteral("提前"))
        m_subtitles->setDelayMode(SubtitleOptions::Earlier);
    else if (item == QStringLiteral("延迟"))
        m_subtitles->setDelayMode(SubtitleOptions::Later);
    else
        m_subtitles->setDelayMode(SubtitleOptions::NoDelay);
}

void SubtitleSettingDialog::subtitleSizeComboBoxCurrentIndexChanged(const QString &item)
{
    // No selection (as the dialog starts) chooses no size.
    bool ok = false;
    const int size = QString(item).remove(QStringLiteral("号")).toInt(&ok);
    if (ok)
        m_subtitles->setSize(size);
}

void SubtitleSettingDialog::subtitleDelayMillisecondsLineEditTextChanged(const QString &milliseconds)
{
    m_subtitles->setDelayMilliseconds(milliseconds);
}

QAbstractButton *SubtitleSettingDialog::escapeButton() const { return closePushButton; }
