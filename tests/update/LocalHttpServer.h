// The local HTTP stand-in moved to the shared test support; this name stays for its users.
#pragma once

#include "testsupport/LocalHttpServer.h"
