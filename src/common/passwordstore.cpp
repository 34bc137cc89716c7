#include "common/passwordstore.h"

CXPasswordStore::CXPasswordStore(const QStringList& passwords)
{
    for (const QString& password : passwords)
        Add(password);
}

void CXPasswordStore::Add(const QString& password)
{
    const std::lock_guard lock(m_mutex);
    if (!password.isEmpty() && !m_passwords.contains(password))
        m_passwords.append(password);
}

QStringList CXPasswordStore::Candidates() const
{
    const std::lock_guard lock(m_mutex);
    if (m_lastWorked.isEmpty())
        return m_passwords;
    QStringList order{m_lastWorked};
    for (const QString& password : m_passwords)
        if (password != m_lastWorked)
            order.append(password);
    return order;
}

void CXPasswordStore::NoteWorked(const QString& password)
{
    Add(password);
    const std::lock_guard lock(m_mutex);
    m_lastWorked = password;
}

void CXPasswordStore::SetSkipAll()
{
    const std::lock_guard lock(m_mutex);
    m_bSkipAll = true;
}

bool CXPasswordStore::IsSkipAll() const
{
    const std::lock_guard lock(m_mutex);
    return m_bSkipAll;
}

bool CXPasswordStore::IsEmpty() const
{
    const std::lock_guard lock(m_mutex);
    return m_passwords.isEmpty();
}

std::optional<QString> CXPasswordStore::Resolve(CXWorkerHost* host, const QString& archiveName,
                                                const std::function<Test(const QString&)>& test)
{
    const std::lock_guard ask(m_askMutex);
    if (IsSkipAll())
        return std::nullopt;
    for (const QString& password : Candidates()) {
        if (test(password) == Test::Works) {
            NoteWorked(password);
            return password;
        }
    }
    if (!host)
        return std::nullopt;
    for (;;) {
        const PasswordAnswer answer = host->AskPassword(archiveName);
        if (answer.m_kind == PasswordAnswer::SkipAll) {
            SetSkipAll();
            return std::nullopt;
        }
        if (answer.m_kind != PasswordAnswer::Password)
            return std::nullopt;
        // An empty password opens nothing: the question comes again.
        if (!answer.m_strPassword.isEmpty() && test(answer.m_strPassword) == Test::Works) {
            NoteWorked(answer.m_strPassword);
            return answer.m_strPassword;
        }
    }
}

std::optional<QString> ResolveArchivePassword(CXPasswordStore* store, CXWorkerHost* host, const QString& archiveName,
                                              const std::function<CXPasswordStore::Test(const QString&)>& test)
{
    if (!store)
        return std::nullopt;
    return store->Resolve(host, archiveName, test);
}
