// Every storage test program loads libparted, whose load-time set-up calls
// strchr on a getline() buffer in a way AddressSanitizer's strchr wrapper
// reports as an overflow before main() runs. The program turns that one
// wrapper off. Include this header in exactly one file of a test program.
#ifndef TESTS_STORAGE_PARTED_SANITIZER_OPTIONS_H
#define TESTS_STORAGE_PARTED_SANITIZER_OPTIONS_H

extern "C" const char* __asan_default_options()
{
    return "intercept_strchr=0";
}

#endif
