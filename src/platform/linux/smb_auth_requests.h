// How a refused SMB listing asks for a login. The listing runs inside model
// calls (rowCount), where a modal prompt would spin a nested event loop
// while queued probe signals may delete the very node being listed. So the
// listing only posts a request here; its signals are delivered queued, after
// the model call has returned, and the receiver (the file dialog) prompts
// and then opens the node again.
#ifndef SMB_AUTH_REQUESTS_H
#define SMB_AUTH_REQUESTS_H

#include <QObject>
#include <QString>

class SmbAuthRequests : public QObject {
    Q_OBJECT

public:
    // How often one login may be refused before the listing gives up.
    static constexpr int kMaxPrompts = 3;

    static SmbAuthRequests* instance();

    // Called by a refused listing; emits credentialsNeeded, or accessDenied
    // once the key was refused kMaxPrompts times, from the event loop.
    void postRefusal(const QString& key, int refusals);

signals:
    // `key` is "//server" or "//server/share"; `refusals` counts the
    // refusals so far (1 for the first: no password was tried yet).
    void credentialsNeeded(const QString& key, int refusals);
    // The listing of `key` was refused too often and stopped.
    void accessDenied(const QString& key);
};

#endif
