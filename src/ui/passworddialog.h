#pragma once

#include "common/workerhost.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The password question for one encrypted archive: "Enter the password for 'X'", a hidden password field,
// OK, "Skip this archive" and "Skip all encrypted archives". Closing it skips the archive.
class CXPasswordDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit CXPasswordDialog(const QString& archiveName, QWidget* parent = nullptr);

    // The user's answer once the dialog has closed.
    PasswordAnswer Answer() const { return m_answer; }

    // Shows the dialog modally and returns the answer.
    static PasswordAnswer Ask(const QString& archiveName, QWidget* parent);

private:
    void Finish(PasswordAnswer::Kind kind);

    QLabel* m_pLabel = nullptr;
    QLineEdit* m_pPassword = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pSkipArchive = nullptr;
    QPushButton* m_pSkipAll = nullptr;
    PasswordAnswer m_answer;
};
