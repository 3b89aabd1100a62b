// The "Network" node of the file browser and everything below it: SMB
// workgroups, servers, shares, folders and files, listed through
// libsmbclient. A share is mounted (CIFS) when a local path below it is
// first asked for, because the engine reads image files by local path.
#ifndef SMB_FILESYSTEM_ITEM_H
#define SMB_FILESYSTEM_ITEM_H

#include "platform/linux/filesystem_item.h"

#include <QByteArray>

class SMBFilesystemItem : public FilesystemChildren {
public:
    // Makes the root's "Network" node from now on (the file dialog calls it
    // before it builds its model). Only the first call installs: a factory
    // set after it (tests) stays.
    static void installAsNetworkNode();

    SMBFilesystemItem(int type, const QString& name, qint64 size, const WildcardFilters* filters,
                      IFilesystemItem* parent);
    // Gives the share's mount back when this node took one.
    ~SMBFilesystemItem() override;

    int attribute(int key) const override;
    QString name() const override;
    // Form 0: \\srv\share\dir\file (a single "\" for the network and a
    // workgroup). Form 1: the local path below the share's mount, mounting
    // it on demand; empty for the network, workgroups and servers, which
    // are no place to read or write a file.
    QString path(int form) override;
    qint64 size() const override;
    QDateTime lastModified() const override;
    // Lists the node. A refused login posts a request for credentials
    // (SmbAuthRequests) and leaves the node unlisted, so that opening it
    // again after the user answered lists it.
    void populate() override;
    void setAccessible(bool accessible) override;
    IFilesystemItem* parent() const override;
    bool hasChildren() const override;
    int row() const override;
    void clearChildren() override;

    // smb:// URL of the node with percent-encoded names, ending in "/";
    // "smb://" for the network; empty for a file and for a node whose path
    // holds a name that isSafeSmbName refuses.
    QString url() const;
    // The store key a login for this node is kept under: "//srv" for a
    // server, "//srv/share" for a share and everything below; empty above.
    QString authKey() const;

    // Mounts "//address/share" with the stored credentials of the server,
    // else of the share once a login to it worked, else as guest. The
    // directory (owned by the mount table), or null.
    static const char* mountShare(const char* url, const char* serverKey, const char* shareKey);

private:
    // This node and its ancestors of share and file types, up to and
    // including the server, from the server down; empty when the chain has
    // no server.
    QList<const SMBFilesystemItem*> chain() const;
    QString localPath();

    int m_type;
    QString m_name;
    qint64 m_size;
    const WildcardFilters* m_filters;
    IFilesystemItem* m_parent;
    bool m_populated = false;
    QByteArray m_mountDir;
};

#endif
