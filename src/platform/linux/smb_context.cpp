#include "platform/linux/smb_context.h"

#include "platform/linux/smb_credential_store.h"

#include <QByteArray>
#include <QDebug>
#include <QString>
#include <QStringList>
#include <cstring>

namespace {

struct ContextHolder {
    SMBCCTX* context = nullptr;
    bool tried = false;
    int port = 0;

    ~ContextHolder()
    {
        if (!context)
            return;
        delete static_cast<SmbCredentialStore*>(smbc_getOptionUserData(context));
        smbc_setOptionUserData(context, nullptr);
        smbc_free_context(context, 1);
        context = nullptr;
    }
};

ContextHolder& holder()
{
    static ContextHolder instance;
    return instance;
}

// Copies text into a library buffer, cut to its length and always ended.
void copyInto(char* buffer, int length, const QByteArray& text)
{
    if (!buffer || length <= 0)
        return;
    const int count = qMin(length - 1, text.size());
    memcpy(buffer, text.constData(), static_cast<size_t>(count));
    buffer[count] = '\0';
}

}  // namespace

SMBCCTX* smbContext()
{
    ContextHolder& h = holder();
    if (h.context || h.tried)
        return h.context;
    h.tried = true;
    SMBCCTX* context = smbc_new_context();
    if (!context) {
        qCritical("Unable to create the SMB client context");
        return nullptr;
    }
    smbc_setDebug(context, 0);
    smbc_setFunctionAuthDataWithContext(context, smbAuthCallback);
    smbc_setOptionDebugToStderr(context, 1);
    // Without this a refused login silently lists as the guest user.
    smbc_setOptionNoAutoAnonymousLogin(context, 1);
    if (h.port > 0)
        smbc_setPort(context, static_cast<uint16_t>(h.port));
    auto* store = new SmbCredentialStore;
    smbc_setOptionUserData(context, store);
    if (!smbc_init_context(context)) {
        qCritical("Unable to initialise the SMB client context");
        delete store;
        smbc_free_context(context, 0);
        return nullptr;
    }
    smbc_set_context(context);
    h.context = context;
    return context;
}

void setSmbPort(int port)
{
    ContextHolder& h = holder();
    h.port = port;
    if (h.context)
        smbc_setPort(h.context, static_cast<uint16_t>(port > 0 ? port : 0));
}

void smbAuthCallback(SMBCCTX* context, const char* server, const char* share, char* /*workgroup*/,
                     int /*workgroupLength*/, char* user, int userLength, char* password, int passwordLength)
{
    // Without a stored login the session is anonymous, which servers map
    // to their guest user. libsmbclient wants an empty user name for that:
    // a named user ("anonymous") without password is refused with EINVAL.
    copyInto(user, userLength, QByteArray());
    auto* store = context ? static_cast<SmbCredentialStore*>(smbc_getOptionUserData(context)) : nullptr;
    if (!store)
        return;
    const QString serverName = QString::fromUtf8(server ? server : "");
    const QString shareName = QString::fromUtf8(share ? share : "");
    // The share's own login first: when the user typed one after the share
    // refused the server's, the server's must not win again.
    QStringList candidates;
    if (!shareName.isEmpty() && !shareName.endsWith(QLatin1Char('$')))
        candidates << SmbCredentialStore::shareKey(serverName, shareName);
    candidates << SmbCredentialStore::serverKey(serverName);
    for (const QString& key : candidates) {
        const int state = store->state(key);
        if (state != SmbCredentialStore::AuthStored && state != SmbCredentialStore::AuthAsk &&
            state != SmbCredentialStore::AuthConfirmed)
            continue;
        QString name, secret;
        if (!store->credentials(key, &name, &secret))
            continue;
        copyInto(user, userLength, name.toUtf8());
        copyInto(password, passwordLength, secret.toUtf8());
        return;
    }
}
