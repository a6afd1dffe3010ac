#pragma once

#include <QStringList>

enum RequestMethod { Get = 0, Post = 1 };

// One request to the web service as the endpoint builders make it: method, parameters in the
// order they go out, and whether the query is signed.
struct ServiceRequest
{
    RequestMethod method = Get;
    QStringList parameters;
    bool isSigned = false;
};
