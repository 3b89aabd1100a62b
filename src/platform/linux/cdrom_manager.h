// Ejects the disc of an optical drive on the user's request.
#ifndef CDROM_MANAGER_H
#define CDROM_MANAGER_H

#include <QObject>
#include <sys/types.h>

class CDROMManager : public QObject {
    Q_OBJECT

public:
    static CDROMManager* instance();

    CDROMManager();

    // Unmounts (through requestUmount) and ejects the disc. 1 when the
    // drive took the eject request, 0 when the drive is unknown, its node
    // cannot be opened or the request failed.
    int eject(dev_t device);

signals:
    // Delivered directly: the receiver unmounts the disc before the eject.
    void requestUmount(dev_t device);
};

#endif
