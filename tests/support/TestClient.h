#pragma once

#include "service/ServiceClient.h"

// The service channel of a test process that talks to a service without the application around
// it: one for the whole process, like the program's own (one cookie for the run).
inline ServiceClient &testClient()
{
    static ServiceClient *client = new ServiceClient; // outlives the application object on purpose
    return *client;
}
