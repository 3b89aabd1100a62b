#include "platform/linux/drive_letters.h"

char DriveLetters::take()
{
    for (int i = 2; i <= 25; ++i) {
        const uint32_t bit = 1u << i;
        if (!(m_mask & bit)) {
            m_mask |= bit;
            return static_cast<char>('A' + i);
        }
    }
    return 0;
}

void DriveLetters::release(char letter)
{
    int index = -1;
    if (letter >= 'A' && letter <= 'Z')
        index = letter - 'A';
    else if (letter >= 'a' && letter <= 'z')
        index = letter - 'a';
    if (index >= 0)
        m_mask &= ~(1u << index);
}
