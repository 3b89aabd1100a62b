#include "platform/linux/smb_credential_store.h"

#include "platform/linux/smb_context.h"

#include <libsmbclient.h>

SmbCredentialStore* SmbCredentialStore::instance()
{
    SMBCCTX* context = smbc_set_context(nullptr);  // asks, changes nothing
    return context ? static_cast<SmbCredentialStore*>(smbc_getOptionUserData(context)) : nullptr;
}

QString SmbCredentialStore::normalizedKey(const QString& key)
{
    QString text = key;
    if (text.startsWith(QLatin1String("smb:"), Qt::CaseInsensitive))
        text.remove(0, 4);
    if (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

QString SmbCredentialStore::serverKey(const QString& server)
{
    return server.isEmpty() ? QString() : QStringLiteral("//") + server;
}

QString SmbCredentialStore::shareKey(const QString& server, const QString& share)
{
    if (server.isEmpty())
        return QString();
    return share.isEmpty() ? serverKey(server) : serverKey(server) + QLatin1Char('/') + share;
}

void SmbCredentialStore::setCredentials(const QString& key, const QString& user, const QString& password)
{
    const QString name = normalizedKey(key);
    if (name.isEmpty() || user.isEmpty() || password.isNull())
        return;
    auto it = m_entries.find(name);
    if (it == m_entries.end())
        it = m_entries.insert(name, Entry{AuthStored, QString(), QString()});
    it->user = user;
    it->password = password;
}

void SmbCredentialStore::setState(const QString& key, int state)
{
    const QString name = normalizedKey(key);
    if (!name.isEmpty())
        m_entries[name].state = state;
}

int SmbCredentialStore::state(const QString& key) const
{
    const auto it = m_entries.constFind(normalizedKey(key));
    return it == m_entries.constEnd() ? AuthNone : it->state;
}

bool SmbCredentialStore::credentials(const QString& key, QString* user, QString* password) const
{
    const auto it = m_entries.constFind(normalizedKey(key));
    if (it == m_entries.constEnd() || it->user.isEmpty())
        return false;
    if (user)
        *user = it->user;
    if (password)
        *password = it->password;
    return true;
}

int SmbCredentialStore::noteRefusal(const QString& key)
{
    return ++m_refusals[normalizedKey(key)];
}

int SmbCredentialStore::refusals(const QString& key) const
{
    return m_refusals.value(normalizedKey(key));
}

void SmbCredentialStore::clearRefusals(const QString& key)
{
    m_refusals.remove(normalizedKey(key));
}

void SmbCredentialStore::clear()
{
    m_entries.clear();
    m_refusals.clear();
}
