// The one object of a class for the whole process: created on first use (in
// the GUI thread, without parent) and deleted when the application ends.
#ifndef PROCESS_INSTANCE_H
#define PROCESS_INSTANCE_H

#include <QCoreApplication>

template <typename T>
T* processInstance()
{
    static T* instance = nullptr;
    if (!instance) {
        instance = new T;
        qAddPostRoutine([] {
            delete instance;
            instance = nullptr;
        });
    }
    return instance;
}

#endif
