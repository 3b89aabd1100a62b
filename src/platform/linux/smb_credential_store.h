// What the user told the console about SMB logins: per server ("//srv") and
// per share ("//srv/share") a user, a password and how far the login got.
// Lives as the user data of the process's libsmbclient context; used from
// the GUI thread only, no lock.
#ifndef SMB_CREDENTIAL_STORE_H
#define SMB_CREDENTIAL_STORE_H

#include <QHash>
#include <QString>

class SmbCredentialStore {
public:
    enum State {
        AuthNone = 0,       // nothing known (also for an absent key)
        AuthStored = 1,     // the user gave credentials, not confirmed yet
        AuthCancelled = 2,  // the user cancelled the prompt
        AuthAsk = 3,        // a listing was refused; the user is to be asked
        AuthConfirmed = 4,  // a listing succeeded after a refusal
    };

    // The store of the library's current context; null without a context.
    static SmbCredentialStore* instance();

    // "smb://srv/data/" and "//srv/data" name the same key "//srv/data".
    static QString normalizedKey(const QString& key);
    // "//srv", or empty for an empty server name.
    static QString serverKey(const QString& server);
    // "//srv/share"; "//srv" for an empty share; empty for an empty server.
    static QString shareKey(const QString& server, const QString& share);

    // Does nothing unless key and user are non-empty and the password is
    // given (not null; it may be empty). A new key starts in AuthStored; a
    // known key keeps its state.
    void setCredentials(const QString& key, const QString& user, const QString& password);
    void setState(const QString& key, int state);
    int state(const QString& key) const;
    // False for an unknown key, or one that holds no user.
    bool credentials(const QString& key, QString* user, QString* password) const;

    void setCredentials(const QString& server, const QString& share, const QString& user,
                        const QString& password)
    {
        setCredentials(shareKey(server, share), user, password);
    }
    void setState(const QString& server, const QString& share, int state)
    {
        setState(shareKey(server, share), state);
    }
    int state(const QString& server, const QString& share) const { return state(shareKey(server, share)); }
    bool credentials(const QString& server, const QString& share, QString* user, QString* password) const
    {
        return credentials(shareKey(server, share), user, password);
    }

    // Refusals of the key's listing since its last success or cancelled
    // prompt; bounds how often one login is tried.
    int noteRefusal(const QString& key);
    int refusals(const QString& key) const;
    void clearRefusals(const QString& key);

    // Forgets everything (tests start from a clean store).
    void clear();

private:
    struct Entry {
        int state = AuthNone;
        QString user;
        QString password;
    };
    QHash<QString, Entry> m_entries;
    QHash<QString, int> m_refusals;
};

#endif
