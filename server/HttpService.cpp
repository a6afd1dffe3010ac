#include "server/HttpService.h"

#include "server/RequestContext.h"
#include "server/ServiceContext.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace server {

namespace {
// What the log line of the request being handled on this thread says.
struct LogNote {
    std::string route;
    int statu = Reply::kNotEnvelope;
    std::chrono::steady_clock::time_point start;
    bool started = false;
};
thread_local LogNote tLogNote;
std::mutex gLogMutex;

const char *contentTypeOf(const std::string &name)
{
    static const std::pair<const char *, const char *> types[] = {
        {".png", "image/png"},         {".jpg", "image/jpeg"},    {".jpeg", "image/jpeg"},
        {".gif", "image/gif"},         {".webp", "image/webp"},   {".bmp", "image/bmp"},
        {".ico", "image/x-icon"},      {".svg", "image/svg+xml"}, {".html", "text/html; charset=utf-8"},
        {".txt", "text/plain; charset=utf-8"}, {".css", "text/css"}, {".json", "application/json"},
        {".zip", "application/zip"},   {".exe", "application/octet-stream"},
    };
    for (const auto &entry : types) {
        const size_t length = std::strlen(entry.first);
        if (name.size() > length && name.compare(name.size() - length, length, entry.first) == 0)
            return entry.second;
    }
    return "application/octet-stream";
}

// A file directly in DIR/static/: no folders, no hidden files, nothing that is not text.
bool isPlainFileName(const std::string &name)
{
    if (name.empty() || name.size() > 255 || name[0] == '.' || !isValidUtf8(name))
        return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}
} // namespace

HttpService::HttpService(ServiceContext &context)
    : m_context(context), m_http(std::make_unique<httplib::Server>())
{
    const int threads = std::max(2, context.options().threads);
    m_http->new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    m_http->set_keep_alive_max_count(100000);
    m_http->set_keep_alive_timeout(5);
    m_http->set_read_timeout(10);
    m_http->set_write_timeout(10);
    // The player's requests are a few hundred bytes; anything near this is not one of them.
    m_http->set_payload_max_length(256 * 1024);
    m_http->set_tcp_nodelay(true);

    m_http->set_pre_routing_handler([](const httplib::Request &, httplib::Response &) {
        tLogNote = LogNote();
        tLogNote.start = std::chrono::steady_clock::now();
        tLogNote.started = true;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    const bool logRequests = context.options().logRequests;
    m_http->set_logger([logRequests](const httplib::Request &request, const httplib::Response &response) {
        LogNote note = tLogNote;
        tLogNote = LogNote();
        if (!logRequests)
            return;
        const double ms = note.started ? std::chrono::duration<double, std::milli>(
                                             std::chrono::steady_clock::now() - note.start)
                                             .count()
                                       : 0.0;
        const std::string route = note.route.empty() ? request.path : note.route;
        char statu[32];
        if (note.statu == Reply::kNotEnvelope)
            std::snprintf(statu, sizeof statu, "http=%d", response.status);
        else
            std::snprintf(statu, sizeof statu, "statu=%d", note.statu);
        std::lock_guard<std::mutex> lock(gLogMutex);
        std::fprintf(stderr, "%s %s %s %.2fms\n", request.method.c_str(), route.c_str(), statu, ms);
    });
    m_http->set_error_handler([](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty())
            response.set_content(std::to_string(response.status) + "\n", "text/plain; charset=utf-8");
    });
    m_http->set_exception_handler(
        [](const httplib::Request &, httplib::Response &response, std::exception_ptr) {
            response.status = 500;
            response.set_content("500\n", "text/plain; charset=utf-8");
        });

    m_http->Get("/server/", [this](const httplib::Request &request, httplib::Response &response) {
        handle(request, response, false);
    });
    m_http->Post("/server/", [this](const httplib::Request &request, httplib::Response &response) {
        handle(request, response, true);
    });
    m_http->Get("/server/static/(.+)", [this](const httplib::Request &request, httplib::Response &response) {
        serveStatic(request, response);
    });
    m_http->Get("/server", [](const httplib::Request &, httplib::Response &response) {
        response.set_redirect("/server/");
    });
    m_http->Get("/", [](const httplib::Request &, httplib::Response &response) {
        response.set_redirect("/server/?r=www");
    });
}

HttpService::~HttpService() = default;

void HttpService::handle(const httplib::Request &request, httplib::Response &response, bool isPost)
{
    std::string query;
    const size_t mark = request.target.find('?');
    if (mark != std::string::npos)
        query = request.target.substr(mark + 1);
    RequestParameters parameters =
        isPost ? RequestParameters::fromBody(request.body) : RequestParameters::fromQuery(query);
    const std::string r = parameters.value("r");
    const std::string action = Router::actionOf(parameters);
    tLogNote.route = r + (action.empty() ? std::string() : ":" + action);
    // The route comes from the client: keep the log one line per request and readable.
    bool printable = tLogNote.route.size() <= 80 && isValidUtf8(tLogNote.route);
    for (char c : tLogNote.route)
        printable = printable && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
    if (!printable)
        tLogNote.route = "(unknown)";

    // The player sends back the whole Set-Cookie value it kept; a browser sends name=value pairs.
    SessionStore &sessions = m_context.sessions();
    std::string sessionId;
    const size_t cookies = request.get_header_value_count("Cookie");
    for (size_t i = 0; i < cookies && sessionId.empty(); ++i) {
        const std::string id = SessionStore::idFromCookieHeader(request.get_header_value("Cookie", i));
        if (sessions.isValid(id))
            sessionId = id;
    }
    const bool freshSession = sessionId.empty();
    if (freshSession)
        sessionId = sessions.newId();

    Reply reply;
    const Router::Route *route = m_router.find(r, action);
    if (!route) {
        reply = Reply::failure(0, "未知的请求！");
    } else if (!(route->methods & (isPost ? Router::Post : Router::Get))) {
        reply = Reply::failure(0, "请求方式错误！");
    } else {
        if (isPost && route->bodyDecoding == Router::BodyDecoding::Form)
            parameters = RequestParameters::fromForm(request.body);
        if (!parameters.isValidUtf8()) {
            reply = Reply::failure(0, "请求参数编码错误！");
        } else if (route->signedRequest && !parameters.signatureMatches()) {
            reply = Reply::failure(-2, "请求签名错误！");
        } else {
            RequestContext context(m_context, std::move(parameters));
            context.isPost = isPost;
            context.sessionId = sessionId;
            context.remoteAddress = request.remote_addr;
            context.hostHeader = request.get_header_value("Host");
            reply = route->handler(context);
        }
    }

    tLogNote.statu = reply.statu;
    response.status = reply.httpStatus;
    for (const auto &header : reply.headers)
        response.set_header(header.first.c_str(), header.second);
    if (freshSession)
        response.set_header("Set-Cookie", SessionStore::setCookieValue(sessionId));
    response.set_content(std::move(reply.body), reply.contentType.c_str());
}

void HttpService::serveStatic(const httplib::Request &request, httplib::Response &response)
{
    // The path arrives percent-decoded already.
    const std::string name = request.matches[1].str();
    tLogNote.route = "static";
    if (!isPlainFileName(name)) {
        response.status = 404;
        return;
    }
    const std::string path = m_context.directory().staticDir() + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        response.status = 404;
        return;
    }
    // Streamed in pieces: update packages can be large.
    auto file = std::shared_ptr<int>(new int(fd), [](int *descriptor) {
        ::close(*descriptor);
        delete descriptor;
    });
    response.set_header("Cache-Control", "public, max-age=300");
    response.set_content_provider(
        size_t(info.st_size), contentTypeOf(name),
        [file](size_t offset, size_t length, httplib::DataSink &sink) {
            char buffer[64 * 1024];
            const size_t wanted = std::min(length, sizeof buffer);
            const ssize_t got = ::pread(*file, buffer, wanted, off_t(offset));
            if (got <= 0)
                return false;
            return sink.write(buffer, size_t(got));
        });
}

int HttpService::bind(const std::string &host, int port)
{
    if (port == 0)
        return m_http->bind_to_any_port(host);
    return m_http->bind_to_port(host, port) ? port : -1;
}

bool HttpService::run()
{
    return m_http->listen_after_bind();
}

void HttpService::stop()
{
    m_http->stop();
}

} // namespace server
