#include "server/http/HttpService.h"

#include "server/http/ByteRange.h"
#include "server/http/LogText.h"
#include "server/http/RequestContext.h"
#include "server/ServiceContext.h"
#include "server/video/VideoHost.h"

#include <httplib.h>
#include <strings.h>

#include <cctype>
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
// The Range header of the request being handled on this thread. It is taken out of the request
// before the HTTP library sees it: only static files honour it, and they do so here.
thread_local std::string tRange;

// The player's requests are a few hundred bytes; anything near this is not one of them.
constexpr size_t kMaxBodyBytes = 64 * 1024;
constexpr size_t kMaxHeadBytes = 16 * 1024;
// The front's internal location that serves files by their absolute path.
const std::string kAccelLocation = "/_pelorin_files";

// The client's address: the connection's, or what a trusted front says it is.
std::string clientAddressOf(const httplib::Request &request, const std::string &trustedProxy)
{
    if (trustedProxy.empty() || request.remote_addr != trustedProxy)
        return request.remote_addr;
    const std::string forwarded = request.get_header_value("X-Real-IP");
    const bool plausible = !forwarded.empty() && forwarded.size() <= 45
                           && forwarded.find_first_not_of("0123456789abcdefABCDEF.:") == std::string::npos;
    return plausible ? forwarded : request.remote_addr;
}

// A path as a URI for the front's internal location: everything but unreserved bytes and "/"
// percent-encoded.
std::string uriOfPath(const std::string &path)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string uri;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            uri += c;
        } else {
            uri += '%';
            uri += digits[byte >> 4];
            uri += digits[byte & 0xF];
        }
    }
    return uri;
}

// The head without its Range and If-Range fields; the Range value goes to *range.
std::string headWithoutRanges(const std::string &bytes, size_t headLength, std::string *range)
{
    std::string head;
    head.reserve(headLength);
    size_t lineStart = 0;
    while (lineStart < headLength) {
        size_t lineEnd = bytes.find("\r\n", lineStart);
        lineEnd = lineEnd == std::string::npos || lineEnd + 2 > headLength ? headLength : lineEnd + 2;
        const size_t colon = bytes.find(':', lineStart);
        const bool field = lineStart > 0 && colon != std::string::npos && colon < lineEnd;
        const size_t nameLength = field ? colon - lineStart : 0;
        const bool isRange = field && nameLength == 5 && strncasecmp(bytes.data() + lineStart, "Range", 5) == 0;
        const bool isIfRange = field && nameLength == 8 && strncasecmp(bytes.data() + lineStart, "If-Range", 8) == 0;
        if (isRange) {
            size_t from = colon + 1;
            size_t to = lineEnd - 2;
            while (from < to && (bytes[from] == ' ' || bytes[from] == '\t'))
                ++from;
            while (to > from && (bytes[to - 1] == ' ' || bytes[to - 1] == '\t'))
                --to;
            *range = bytes.substr(from, to - from);
        } else if (!isIfRange) {
            head.append(bytes, lineStart, lineEnd - lineStart);
        }
        lineStart = lineEnd;
    }
    return head;
}

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

class HttpService::Library : public httplib::Server
{
public:
    using httplib::Server::process_request;
    // Replies with content providers are only written while the library thinks it listens.
    void markListening(int fd) { svr_sock_ = fd; }
};

HttpService::HttpService(ServiceContext &context, ConnectionBudget &connections)
    : m_context(context), m_http(std::make_unique<Library>())
{
    const ServiceOptions &options = context.options();
    ConnectionServer::Settings settings;
    settings.workers = std::max(2, options.threads);
    settings.maxHeadBytes = kMaxHeadBytes;
    settings.maxBodyBytes = kMaxBodyBytes;
    settings.headSeconds = options.headSeconds;
    settings.idleSeconds = 5;
    settings.writeSeconds = 10;
    m_connections = std::make_unique<ConnectionServer>(
        connections, settings, [this](const ConnectionServer::Request &request) { return serveRequest(request); });
    m_http->set_payload_max_length(kMaxBodyBytes);
    m_http->set_keep_alive_max_count(100000);
    m_http->set_keep_alive_timeout(settings.idleSeconds);

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
        char milliseconds[32];
        std::snprintf(milliseconds, sizeof milliseconds, "%.2fms", ms);
        LogText::print(request.method + " " + route + " " + statu + " " + milliseconds);
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
    if (options.accelRedirect) {
        m_http->Get("/server/accel/.*", [this](const httplib::Request &request, httplib::Response &response) {
            checkForFront(request, response);
        });
    }
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
            context.remoteAddress = clientAddressOf(request, m_context.options().trustedProxy);
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
    response.set_header("Accept-Ranges", "bytes");
    const int64_t size = info.st_size;
    int64_t first = 0;
    int64_t length = size;
    const ByteRange::Kind kind = tRange.empty() ? ByteRange::Kind::Whole : ByteRange::parse(tRange, size, &first, &length);
    if (kind == ByteRange::Kind::Unsatisfiable) {
        // Also a range that starts at the end: a resumed download of a complete file stops here.
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        response.set_content("416\n", "text/plain; charset=utf-8");
        return;
    }
    if (kind == ByteRange::Kind::Partial) {
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(first) + "-"
                                                 + std::to_string(first + length - 1) + "/" + std::to_string(size));
    }
    // Streamed in pieces: update packages can be large.
    response.set_content_provider(
        size_t(length), contentTypeOf(name),
        [file, first](size_t offset, size_t wanted, httplib::DataSink &sink) {
            char buffer[64 * 1024];
            const ssize_t got = ::pread(*file, buffer, std::min(wanted, sizeof buffer), off_t(first) + off_t(offset));
            if (got <= 0)
                return false;
            return sink.write(buffer, size_t(got));
        });
}

void HttpService::checkForFront(const httplib::Request &request, httplib::Response &response)
{
    static const std::string prefix = "/server/accel";
    const std::string target = request.target.substr(prefix.size());
    std::optional<LibraryFile> file;
    std::string route = "video";
    const int refusal = VideoHost::authorize(m_context, target, request.get_header_value("Cookie"), &file, &route);
    tLogNote.route = "accel:" + route;
    if (refusal) {
        response.status = refusal;
        return;
    }
    // A file still arriving is on disk with pieces that are missing or not checked yet: only the
    // process that fetches it may send it, piece by piece.
    if (file->origin == "fetching") {
        response.status = 503;
        return;
    }
    // The front sends the file itself (ranges, validators, sendfile); it is told where it is.
    response.status = 200;
    response.set_header("X-Accel-Redirect", kAccelLocation + uriOfPath(file->diskPath));
    response.set_header("Cache-Control", "private, max-age=3600");
    response.set_header("Content-Type", LibraryStore::contentTypeOf(file->path));
}

bool HttpService::serveRequest(const ConnectionServer::Request &request)
{
    tRange.clear();
    std::string head = headWithoutRanges(request.bytes, request.headLength, &tRange);
    RequestStream stream(request.fd, request.peer, std::move(head), request.bytes.data() + request.headLength,
                         request.length - request.headLength, request.writeSeconds);
    bool closed = false;
    const bool written = m_http->process_request(stream, false, closed, [](httplib::Request &parsed) {
        // The connection layer has answered "100 Continue" already, and has the body.
        parsed.headers.erase("Expect");
    });
    tRange.clear();
    return written && !closed;
}

int HttpService::bind(const std::string &host, int port)
{
    const int bound = m_connections->bind(host, port);
    if (bound >= 0)
        m_http->markListening(m_connections->listenFd());
    return bound;
}

bool HttpService::run()
{
    return m_connections->run();
}

void HttpService::stop()
{
    m_connections->stop();
}

} // namespace server
