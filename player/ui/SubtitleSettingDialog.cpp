#include "player/ui/SubtitleSettingDialog.h"

#include "app/ui/DialogRegistry.h"
#include "player/SubtitleOptions.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QIntValidator>

namespace {

// The combo boxes' index signal, without the deprecated overload. By index, not by text: the
// texts are those of the interface language.
template <typename Slot> void onItemChanged(QComboBox *box, SubtitleSettingDialog *dialog, Slot slot)
{
    QObject::connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), dialog, slot);
}

// The size box lists the sizes from this one up, one per entry.
constexpr int SmallestSize = 7;

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
    const QString filter = tr("字幕文件(*.srt *.ass *.ssa *.smi *.idx *.sub *.sup)");
    const QString file = QFileDialog::getOpenFileName(this, tr("浏览字幕文件"), QStringLiteral("."), filter);
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

void SubtitleSettingDialog::subtitleSwitchComboBoxCurrentIndexChanged(int index)
{
    m_subtitles->setShown(index == 0); // "开启"
}

void SubtitleSettingDialog::subtitleDelayComboBoxCurrentIndexChanged(int index)
{
    // "关闭", "提前", "延迟" in the order of the modes.
    if (index == SubtitleOptions::Earlier)
        m_subtitles->setDelayMode(SubtitleOptions::Earlier);
    else if (index == SubtitleOptions::Later)
        m_subtitles->setDelayMode(SubtitleOptions::Later);
    else
        m_subtitles->setDelayMode(SubtitleOptions::NoDelay);
}

void SubtitleSettingDialog::subtitleSizeComboBoxCurrentIndexChanged(int index)
{
    // No selection (as the dialog starts) chooses no size.
    if (index >= 0)
        m_subtitles->setSize(SmallestSize + index);
}

void SubtitleSettingDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        // The format hint, shown until a file is chosen, is a text of the form; a chosen file stays
        // (and is not sent again).
        const QSignalBlocker quiet(subtitleFilePathLineEdit);
        const QString shown = subtitleFilePathLineEdit->text();
        const bool hint = shown == m_formatHint;
        retranslateUi(this);
        m_formatHint = subtitleFilePathLineEdit->text();
        if (!hint)
            subtitleFilePathLineEdit->setText(shown);
    }
    MoveableDialog::changeEvent(event);
}

void SubtitleSettingDialog::subtitleDelayMillisecondsLineEditTextChanged(const QString &milliseconds)
{
    m_subtitles->setDelayMilliseconds(milliseconds);
}

QAbstractButton *SubtitleSettingDialog::escapeButton() const { return closePushButton; }
