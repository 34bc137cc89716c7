#include "ui/passworddialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CXPasswordDialog::CXPasswordDialog(const QString& archiveName, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("passwordDialog"));
    setWindowTitle(tr("Password"));

    m_pLabel = new QLabel(tr("Enter the password for '%1'").arg(archiveName), this);
    m_pLabel->setObjectName(QStringLiteral("passwordLabel"));
    m_pLabel->setTextFormat(Qt::PlainText); // an archive name is never markup

    m_pPassword = new QLineEdit(this);
    m_pPassword->setObjectName(QStringLiteral("passwordEdit"));
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pPassword->setMinimumWidth(320);
    m_pLabel->setBuddy(m_pPassword);

    m_pOk = new QPushButton(tr("OK"), this);
    m_pOk->setObjectName(QStringLiteral("passwordOkButton"));
    m_pOk->setDefault(true);
    m_pSkipArchive = new QPushButton(tr("Skip this archive"), this);
    m_pSkipArchive->setObjectName(QStringLiteral("skipArchiveButton"));
    m_pSkipAll = new QPushButton(tr("Skip all encrypted archives"), this);
    m_pSkipAll->setObjectName(QStringLiteral("skipAllButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pSkipArchive);
    buttons->addWidget(m_pSkipAll);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pLabel);
    layout->addWidget(m_pPassword);
    layout->addLayout(buttons);

    connect(m_pOk, &QPushButton::clicked, this, [this] { Finish(PasswordAnswer::Password); });
    connect(m_pSkipArchive, &QPushButton::clicked, this, [this] { Finish(PasswordAnswer::SkipArchive); });
    connect(m_pSkipAll, &QPushButton::clicked, this, [this] { Finish(PasswordAnswer::SkipAll); });
    m_pPassword->setFocus();
}

void CXPasswordDialog::Finish(PasswordAnswer::Kind kind)
{
    m_answer.m_kind = kind;
    m_answer.m_strPassword = kind == PasswordAnswer::Password ? m_pPassword->text() : QString();
    // The typed text does not outlive the question in the field.
    m_pPassword->clear();
    if (kind == PasswordAnswer::Password)
        accept();
    else
        reject();
}

PasswordAnswer CXPasswordDialog::Ask(const QString& archiveName, QWidget* parent)
{
    CXPasswordDialog dialog(archiveName, parent);
    dialog.exec();
    return dialog.Answer();
}
