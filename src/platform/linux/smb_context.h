// The process's libsmbclient context and its authentication callback.
#ifndef SMB_CONTEXT_H
#define SMB_CONTEXT_H

#include <libsmbclient.h>

// The context, created on first use and made the library's current one;
// its user data is the credential store. Null when the set-up failed (it
// is not tried again).
SMBCCTX* smbContext();

// Connects to servers on this TCP port instead of the standard ones (tests
// run their own server on a free loopback port). 0 restores the default.
void setSmbPort(int port);

// Answers the library's request for a login: the stored credentials of the
// share, then of the server, that the user gave or that worked; else an
// anonymous login (an empty user name). It never asks the user itself: the listing that was
// refused asks, outside any library or model call (SmbAuthRequests).
void smbAuthCallback(SMBCCTX* context, const char* server, const char* share, char* workgroup,
                     int workgroupLength, char* user, int userLength, char* password, int passwordLength);

#endif
