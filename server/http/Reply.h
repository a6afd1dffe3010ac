#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace server {

// What a route answers: usually the JSON envelope the player reads (statu, msg, data and, for
// lists, a top-level datas), sometimes a page, an image or a redirect.
struct Reply
{
    static constexpr int kNotEnvelope = INT_MIN;

    int httpStatus = 200;
    std::string contentType = "application/json; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    int statu = kNotEnvelope; // for the log line
    std::string message;      // the envelope's msg (UTF-8)

    // msg and every text below are UTF-8.
    static Reply failure(int statu, const char *msg);
    static Reply success(const char *msg, const QJsonValue &data = QJsonValue());
    // A list carried at the top level as datas (with data beside it).
    static Reply successList(const char *msg, const QJsonArray &datas,
                             const QJsonValue &data = QJsonValue());
    static Reply envelope(const QJsonObject &object);

    static Reply html(std::string page, int httpStatus = 200);
    static Reply binary(std::string contentType, std::string bytes);
    static Reply redirect(const std::string &location);
};

} // namespace server
