#include "platform/linux/smb_auth_requests.h"

#include "platform/linux/process_instance.h"

#include <QMetaObject>

SmbAuthRequests* SmbAuthRequests::instance()
{
    return processInstance<SmbAuthRequests>();
}

void SmbAuthRequests::postRefusal(const QString& key, int refusals)
{
    QMetaObject::invokeMethod(
        this,
        [this, key, refusals] {
            if (refusals > kMaxPrompts)
                emit accessDenied(key);
            else
                emit credentialsNeeded(key, refusals);
        },
        Qt::QueuedConnection);
}
