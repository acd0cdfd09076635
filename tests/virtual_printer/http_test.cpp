#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QByteArray>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "child_program.h"
#include "http_interface.h"
#include "line_clients.h"
#include "printer_session.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;

// "Hello N", a partial cut: a receipt of one line, its event "cut partial".
std::string receipt(int n) {
    return "Hello " + std::to_string(n) + "\n\x1dV\x01";
}

// The virtual printer with its web page, on free loopback ports.
class WebPrinter {
public:
    explicit WebPrinter(std::vector<std::string> arguments)
        : child_(VIRTUAL_PRINTER,
                 (arguments.push_back("--http"), arguments.push_back("127.0.0.1:0"), arguments)) {
        for (std::string line; (line = child_.line(5s)) != "(nothing)";) {
            if (line.rfind("port: 127.0.0.1:", 0) == 0) printPort = std::stoi(line.substr(16));
            if (line.rfind("http: http://127.0.0.1:", 0) == 0) {
                httpPort = std::stoi(line.substr(23));
                break;
            }
        }
    }
    // The next line of standard output that begins so, or "(nothing)".
    std::string lineStarting(const std::string& start, std::chrono::milliseconds within = 5s) {
        const auto until = std::chrono::steady_clock::now() + within;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            const std::string line = child_.line(std::max(left, 0ms));
            if (line == "(nothing)" || line.rfind(start, 0) == 0) return line;
        }
    }
    void print(const std::string& bytes) {
        const int fd = connectToLoopback(printPort);
        ASSERT_GE(fd, 0);
        ASSERT_TRUE(writeAll(fd, bytes));
        close(fd);
    }
    void input(const std::string& text) { ASSERT_TRUE(child_.input(text)); }

    int printPort = 0, httpPort = 0;

private:
    ChildProgram child_;
};

// What has arrived on `fd`, waiting up to `within` for the first of it; empty at the end.
std::string readSome(int fd, std::chrono::milliseconds within) {
    pollfd readable{fd, POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(within.count())) <= 0) return {};
    char chunk[1 << 16];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    return n > 0 ? std::string(chunk, static_cast<std::size_t>(n)) : std::string();
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return text;
}

struct Answer {
    int status = 0;
    std::string headers, body;
};

// One request on a connection of its own, read to the end of its body.
Answer fetch(int port, const std::string& method, const std::string& path,
             const std::string& body = {}, const std::string& headers = {}) {
    Answer answer;
    const int fd = connectToLoopback(port);
    if (fd < 0) return answer;
    writeAll(fd, method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                     "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
                     "\r\n\r\n" + body);
    std::string got;
    std::size_t end = std::string::npos, length = 0;
    while (end == std::string::npos || got.size() < end + 4 + length) {
        const std::string more = readSome(fd, 5s);
        if (more.empty()) break;
        got += more;
        if (end == std::string::npos && (end = got.find("\r\n\r\n")) != std::string::npos) {
            const std::string head = lowered(got.substr(0, end));
            const std::size_t at = head.find("content-length: ");
            length = at != std::string::npos ? std::stoul(head.substr(at + 16)) : 0;
        }
    }
    close(fd);
    if (got.size() > 12 && end != std::string::npos) {
        answer.status = std::stoi(got.substr(9, 3));
        // Names in any case, as HTTP has them; Qt 6.8 sends them in lower case.
        answer.headers = lowered(got.substr(0, end));
        answer.body = got.substr(end + 4);
    }
    return answer;
}

QJsonObject jsonOf(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

// What an event stream sends up to and including the first message that has `text`.
std::string readUntil(int fd, const std::string& text, std::chrono::milliseconds within = 5s) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + within;
    while (got.find(text) == std::string::npos && std::chrono::steady_clock::now() < until)
        got += readSome(fd, 100ms);
    return got;
}

// The roll as the interface in this process gives it.
QJsonObject rollOf(const vp::HttpInterface& web) {
    QNetworkAccessManager client;
    QNetworkReply* reply = client.get(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/receipts").arg(web.port()))));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return QJsonDocument::fromJson(reply->readAll()).object();
}

TEST(Http, KeepsTheNewestReceiptsWithinItsBoundAsTheWindowDoes) {
    vp::PrinterSession session(vp::Paper::millimetres80());
    // Room for less than one picture: the newest stays whatever it takes.
    vp::HttpInterface web(session, 1);
    ASSERT_EQ(web.listen(QHostAddress::LocalHost, 0), QString());
    web.follow();
    for (int n = 1; n <= 3; ++n) {
        web.addEvent("before " + std::to_string(n));
        session.bytesArrived(QByteArray::fromStdString(receipt(n)));
    }
    web.addEvent("after 3");
    QJsonObject roll = rollOf(web);
    EXPECT_EQ(roll["dropped"].toInt(), 2);
    ASSERT_EQ(roll["receipts"].toArray().size(), 1);
    EXPECT_EQ(roll["receipts"][0]["id"].toInt(), 3);
    EXPECT_EQ(roll["receipts"][0]["oldest"].toInt(), 3);
    // The events before a receipt let go go with it, those of the newest stay.
    const QJsonArray notes = roll["events"].toArray();
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0]["text"].toString(), "after 3");

    // However many events come, the list stays as long as the window's.
    vp::HttpInterface roomy(session);
    ASSERT_EQ(roomy.listen(QHostAddress::LocalHost, 0), QString());
    for (int n = 0; n < vp::HttpInterface::longestEventList + 10; ++n)
        roomy.addEvent("event " + std::to_string(n));
    roll = rollOf(roomy);
    ASSERT_EQ(roll["events"].toArray().size(), vp::HttpInterface::longestEventList);
    EXPECT_EQ(roll["events"][0]["text"].toString(), "event 10");
}

TEST(Http, EachRouteAnswersAndBadRequestsChangeNothing) {
    TempDir dir;
    writeFile(dir.path("capture.bin"), std::string("\x1bp\0\x80\x80", 5) + receipt(1) + receipt(2));
    // A rendered file stays on the web page until the program is stopped.
    WebPrinter printer({"--render", dir.path("capture.bin"), "--out", dir.path("out"), "--state",
                        "paper-near-end", "--drawer-seconds", "0"});
    ASSERT_GT(printer.httpPort, 0);
    ASSERT_NE(printer.lineStarting(dir.path("out/receipt-002.png")), "(nothing)");

    const struct {
        const char *method, *path, *body;
        int status;
        const char *type, *has;
    } cases[] = {
        {"GET", "/", "", 200, "text/html", "EventSource"},
        {"GET", "/receipts", "", 200, "application/json", "\"cut partial\""},
        {"GET", "/receipts/1.png", "", 200, "image/png", "\x89PNG"},
        {"GET", "/receipts/2.json", "", 200, "application/json", "\"format\""},
        {"GET", "/receipts/2.txt", "", 200, "text/plain", ""},
        {"GET", "/state", "", 200, "application/json", "\"paper-near-end\":true"},
        {"GET", "/receipts/3.png", "", 404, "text/plain", "no receipt 3.png"},
        {"GET", "/receipts/1.gif", "", 404, "text/plain", "NUMBER.png"},
        {"GET", "/receipts/one.png", "", 404, "text/plain", "no receipt"},
        {"GET", "/receipt", "", 404, "", ""},
        {"GET", "/printing.png", "", 404, "text/plain", "no receipt is printing"},
        {"POST", "/", "", 405, "text/plain", "GET only"},
        {"PUT", "/receipts", "", 405, "text/plain", "GET, DELETE"},
        {"DELETE", "/receipts/1.png", "", 405, "text/plain", "GET only"},
        {"DELETE", "/state", "", 405, "text/plain", "GET, POST"},
        {"POST", "/events", "", 405, "text/plain", "GET only"},
        {"POST", "/state", "cover-open", 400, "text/plain", "a JSON object"},
        {"POST", "/state", "[true]", 400, "text/plain", "a JSON object"},
        {"POST", "/state", R"({"paper-end": true, "cover-opened": true})", 400, "text/plain",
         "\"cover-opened\" is not a state"},
        {"POST", "/state", R"({"paper-end": 1})", 400, "text/plain", "\"paper-end\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path + " " + c.body);
        const Answer answer = fetch(printer.httpPort, c.method, c.path, c.body);
        EXPECT_EQ(answer.status, c.status) << answer.body;
        EXPECT_NE(answer.headers.find(std::string("content-type: ") + c.type), std::string::npos)
            << answer.headers;
        EXPECT_NE(answer.body.find(c.has), std::string::npos) << answer.body;
    }
    // Another site's page cannot change the printer through the person's browser.
    const std::string elsewhere = "Origin: http://shop.example\r\n";
    EXPECT_EQ(fetch(printer.httpPort, "POST", "/state", R"({"cover-open":true})", elsewhere).status,
              403);
    EXPECT_EQ(fetch(printer.httpPort, "DELETE", "/receipts", "", elsewhere).status, 403);
    // What is allowed is said.
    EXPECT_NE(fetch(printer.httpPort, "PUT", "/receipts").headers.find("allow: get, delete"),
              std::string::npos);

    // Nothing changed, and connections closed one after another never run out.
    for (int i = 0; i < 100; ++i) ASSERT_EQ(fetch(printer.httpPort, "GET", "/state").status, 200);
    EXPECT_EQ(jsonOf(fetch(printer.httpPort, "GET", "/state").body),
              jsonOf(R"({"cover-open":false,"paper-near-end":true,"paper-end":false,
                         "drawer-open":false})"));
    const QJsonObject roll = jsonOf(fetch(printer.httpPort, "GET", "/receipts").body);
    ASSERT_EQ(roll["receipts"].toArray().size(), 2);
    EXPECT_EQ(roll["receipts"][1]["id"].toInt(), 2);
    EXPECT_EQ(roll["receipts"][0]["events"].toArray(),
              (QJsonArray{"drawer pin 2 on 256 ms off 256 ms", "cut partial"}));
    EXPECT_EQ(roll["receipts"][0]["width"].toInt(), 640);
    EXPECT_EQ(roll["events"][0]["text"].toString(), "paper-near-end set");
}

TEST(Http, RefusesAnAddressItCannotServe) {
    TempDir dir;
    WebPrinter first({"--listen", "127.0.0.1:0", "--out", dir.path("out")});
    const struct {
        std::string address;
        int status;
        const char* says;
    } cases[] = {{"nonsense", 2, "--http wants [HOST:]PORT, not nonsense"},
                 {std::to_string(first.httpPort), 1, "the web page cannot listen on 127.0.0.1"}};
    for (const auto& c : cases) {
        ChildProgram second(VIRTUAL_PRINTER, {"--listen", "127.0.0.1:0", "--out", dir.path("out"),
                                              "--http", c.address});
        EXPECT_EQ(second.wait(), c.status) << c.address;
        std::string said;
        for (std::string line; (line = second.errorLine(1s)) != "(nothing)";) said += line + "\n";
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
    }
}

TEST(Http, TheEventStreamFollowsReceiptsStateAndClearing) {
    TempDir dir;
    WebPrinter printer({"--listen", "127.0.0.1:0", "--out", dir.path("out")});
    const int stream = connectToLoopback(printer.httpPort);
    ASSERT_GE(stream, 0);
    ASSERT_TRUE(writeAll(stream, "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    const std::string opening = readUntil(stream, "event: state\ndata: {\"cover-open\":false");
    EXPECT_NE(lowered(opening).find("content-type: text/event-stream"), std::string::npos)
        << opening;

    printer.print(receipt(1));
    std::string got = readUntil(stream, R"("events":["cut partial"])");
    EXPECT_NE(got.find("event: receipt\ndata: {"), std::string::npos) << got;

    // Set through the interface: the stream and standard output both tell it.
    ASSERT_EQ(fetch(printer.httpPort, "POST", "/state", R"({"cover-open": true})").status, 200);
    EXPECT_EQ(printer.lineStarting("event: "), "event: cover-open set");
    got = readUntil(stream, "\"cover-open\":true");
    EXPECT_NE(got.find("event: event\ndata: {\"after\":1,\"text\":\"cover-open set\"}"),
              std::string::npos)
        << got;
    printer.input("clear cover-open\n");

    ASSERT_EQ(fetch(printer.httpPort, "DELETE", "/receipts").status, 204);
    EXPECT_NE(readUntil(stream, "event: clear\n").find("event: clear\n"), std::string::npos);
    EXPECT_EQ(fetch(printer.httpPort, "GET", "/receipts/1.png").status, 404);
    // Numbers are never given twice, so a script's old number never names another receipt.
    printer.print(receipt(2));
    EXPECT_NE(readUntil(stream, "\"id\":2"), "");
    close(stream);
}

TEST(Http, ClientsThatNeverReadDelayNoPrinting) {
    TempDir dir;
    WebPrinter printer({"--listen", "127.0.0.1:0", "--out", dir.path("out")});
    // A tall receipt, so that its picture asked for again and again soon passes the bound
    // of what a client may leave unread.
    std::string tall;
    for (int line = 0; line < 300; ++line) tall += "Line " + std::to_string(line) + " ####\n";
    printer.print(tall + "\x1dV\x01");
    ASSERT_NE(printer.lineStarting(dir.path("out/receipt-001.png")), "(nothing)");

    const int silentStream = connectToLoopback(printer.httpPort);
    ASSERT_TRUE(writeAll(silentStream, "GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    const int greedy = connectToLoopback(printer.httpPort);
    std::string requests;
    for (int i = 0; i < 2000; ++i)
        requests += "GET /receipts/1.png HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_TRUE(writeAll(greedy, requests));

    const auto start = std::chrono::steady_clock::now();
    for (int n = 2; n <= 101; ++n) printer.print(receipt(n));
    EXPECT_NE(printer.lineStarting(dir.path("out/receipt-101.png"), 20s), "(nothing)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
    // The page still answers others, and the client that asked for more than it read was
    // dropped: reading on reaches the end of its connection well before 2000 pictures.
    EXPECT_EQ(fetch(printer.httpPort, "GET", "/state").status, 200);
    std::this_thread::sleep_for(1s);
    std::size_t read = 0;
    for (std::string more; !(more = readSome(greedy, 2s)).empty();) read += more.size();
    const std::size_t picture = fetch(printer.httpPort, "GET", "/receipts/1.png").body.size();
    ASSERT_GT(picture, 0u);
    EXPECT_LT(read / picture, 1000u);
    close(greedy);
    close(silentStream);
}

// Headless Chromium driven over its debugging pipe (descriptors 3 and 4, messages ending in
// a NUL): one page, the DOM read with JavaScript and a screenshot.
class Chromium {
public:
    static bool installed() { return std::system("command -v chromium >/dev/null 2>&1") == 0; }

    explicit Chromium(const std::string& url) : profile_(std::make_unique<TempDir>()) {
        int commands[2], replies[2];
        if (pipe(commands) != 0 || pipe(replies) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(commands[0], 3);
            dup2(replies[1], 4);
            const std::string profile = "--user-data-dir=" + profile_->path("profile");
            execlp("chromium", "chromium", "--headless", "--no-sandbox", "--disable-gpu",
                   "--disable-quic", "--no-first-run", "--disable-background-networking",
                   "--disable-component-update", "--disable-sync", "--remote-debugging-pipe",
                   "--window-size=1000,700", profile.c_str(), "about:blank", nullptr);
            _exit(127);
        }
        close(commands[0]);
        close(replies[1]);
        to_ = commands[1];
        from_ = replies[0];
        const QJsonObject target = call("Target.createTarget", {{"url", url.c_str()}});
        session_ = call("Target.attachToTarget",
                        {{"targetId", target["targetId"]}, {"flatten", true}})["sessionId"]
                       .toString();
    }
    ~Chromium() {
        if (pid_ <= 0) return;
        call("Browser.close", {});
        close(to_);
        close(from_);
        // A browser that does not close within seconds is ended.
        for (int tries = 0; waitpid(pid_, nullptr, WNOHANG) == 0; ++tries) {
            if (tries == 50) kill(pid_, SIGKILL);
            std::this_thread::sleep_for(100ms);
        }
    }

    // What the expression gives on the page, as JSON text.
    std::string evaluate(const std::string& expression) {
        const QJsonObject result =
            call("Runtime.evaluate",
                 {{"expression", QString::fromStdString("JSON.stringify(" + expression + ")")},
                  {"returnByValue", true}},
                 session_);
        return result["result"]["value"].toString().toStdString();
    }
    // Whether the expression comes to `wanted` within the time given.
    bool waitFor(const std::string& expression, const std::string& wanted,
                 std::chrono::milliseconds within = 10s) {
        const auto until = std::chrono::steady_clock::now() + within;
        for (; evaluate(expression) != wanted; std::this_thread::sleep_for(100ms))
            if (std::chrono::steady_clock::now() > until) return false;
        return true;
    }
    QImage screenshot() {
        const QJsonObject shot = call("Page.captureScreenshot", {}, session_);
        return QImage::fromData(QByteArray::fromBase64(shot["data"].toString().toLatin1()));
    }

private:
    QJsonObject call(const char* method, const QJsonObject& params, const QString& session = {}) {
        QJsonObject message{{"id", ++lastId_}, {"method", method}, {"params", params}};
        if (!session.isEmpty()) message["sessionId"] = session;
        const QByteArray bytes = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
        if (!writeAll(to_, std::string_view(bytes.constData(), std::size_t(bytes.size()))))
            return {};
        for (;;) {
            std::size_t end;
            while ((end = pending_.find('\0')) == std::string::npos) {
                const std::string more = readSome(from_, 10s);
                if (more.empty()) return {};
                pending_ += more;
            }
            const QJsonObject reply = jsonOf(pending_.substr(0, end));
            pending_.erase(0, end + 1);
            if (reply["id"].toInt() == lastId_) return reply["result"].toObject();
        }
    }

    std::unique_ptr<TempDir> profile_;
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    int lastId_ = 0;
    QString session_;
    std::string pending_;
};

TEST(Http, ThePageInChromiumShowsTheRollLiveAndWorksItsSwitches) {
    if (!Chromium::installed()) GTEST_SKIP() << "chromium is not installed: the page is not tried";
    TempDir dir;
    WebPrinter printer({"--listen", "127.0.0.1:0", "--out", dir.path("out")});
    printer.print(receipt(1));
    ASSERT_NE(printer.lineStarting(dir.path("out/receipt-001.png")), "(nothing)");

    Chromium browser("http://127.0.0.1:" + std::to_string(printer.httpPort) + "/");
    const std::string pictures =
        "[...document.querySelectorAll('#roll img.receipt')].map(i => i.dataset.id + ':' + "
        "i.naturalWidth)";
    ASSERT_TRUE(browser.waitFor(pictures, R"(["1:640"])")) << browser.evaluate(pictures);
    // Printed while the page is open: it follows without a reload, newest at the bottom.
    printer.print(receipt(2));
    printer.print(receipt(3));
    EXPECT_TRUE(browser.waitFor(pictures, R"(["1:640","2:640","3:640"])"))
        << browser.evaluate(pictures);
    printer.input("set paper-near-end\n");
    EXPECT_TRUE(
        browser.waitFor("document.querySelector('[data-flag=paper-near-end]').checked", "true"));
    EXPECT_EQ(browser.evaluate("[...document.querySelectorAll('#events li')].map(l => "
                               "l.className + ' ' + l.textContent)"),
              R"(["heading Receipt 1","event cut partial","heading Receipt 2",)"
              R"("event cut partial","heading Receipt 3","event cut partial",)"
              R"("note paper-near-end set"])");

    // Looked at: grey roll with white paper and black print on it, the events beside it.
    const QImage shot = browser.screenshot();
    ASSERT_EQ(shot.width(), 1000);
    ASSERT_GT(shot.height(), 400);
    const std::string box =
        "(r => [r.left, r.bottom])(document.querySelector('#roll "
        "img.receipt').getBoundingClientRect())";
    const QJsonArray corner = QJsonDocument::fromJson(browser.evaluate(box).c_str()).array();
    const int left = corner[0].toInt(), bottom = corner[1].toInt();
    int white = 0, black = 0;
    for (int y = 0; y < bottom; ++y)
        for (int x = left; x < left + 640; ++x) {
            const int grey = qGray(shot.pixel(x, y));
            white += grey > 240;
            black += grey < 16;
        }
    EXPECT_GT(white, 640 * 20);
    EXPECT_GT(black, 100);
    EXPECT_LT(qGray(shot.pixel(left / 2, 200)), 160) << "the roll's background";

    // A receipt still printing shows below the others, as in the window, until it ends.
    const int writer = connectToLoopback(printer.printPort);
    ASSERT_TRUE(writeAll(writer, "Still printing\n"));
    const std::string printing =
        "(p => p.hidden ? 'hidden' : p.naturalWidth)(document.getElementById('printing'))";
    EXPECT_TRUE(browser.waitFor(printing, "640")) << browser.evaluate(printing);
    EXPECT_EQ(browser.evaluate("document.querySelector('#roll img:last-child').id"),
              "\"printing\"");
    close(writer);
    EXPECT_TRUE(browser.waitFor(printing, "\"hidden\"")) << browser.evaluate(printing);
    EXPECT_TRUE(browser.waitFor(pictures, R"(["1:640","2:640","3:640","4:640"])"));

    // The page's switches and its Clear button work the printer.
    browser.evaluate("document.querySelector('[data-flag=cover-open]').click()");
    EXPECT_EQ(printer.lineStarting("event: cover-open"), "event: cover-open set");
    browser.evaluate("document.getElementById('clear').click()");
    EXPECT_TRUE(browser.waitFor(pictures, "[]")) << browser.evaluate(pictures);
}

}  // namespace

int main(int argc, char** argv) {
    // Receipts drawn in this process need no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // A browser that died takes the test's failure, not the test program.
    signal(SIGPIPE, SIG_IGN);
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
