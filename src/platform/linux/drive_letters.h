// Drive letters C..Z handed to volumes, lowest free letter first.
#ifndef DRIVE_LETTERS_H
#define DRIVE_LETTERS_H

#include <cstdint>

class DriveLetters {
public:
    // The lowest free letter 'C'..'Z', now taken; 0 when all are taken.
    char take();
    // Frees 'A'..'Z' or 'a'..'z'; anything else (' ', 0) frees nothing.
    void release(char letter);
    void clear() { m_mask = 0; }
    // Bit i set: letter 'A' + i is in use.
    uint32_t mask() const { return m_mask; }

private:
    uint32_t m_mask = 0;
};

#endif
