// inet_pton and inet_ntop, which Windows declares in its own socket headers.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
