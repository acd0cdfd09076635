// The program's parts below the window, in one process with an event loop: the printer
// session with its replies, state and bounded turns, the byte sources, and the state commands.
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <thread>

#include "byte_sources.h"
#include "escpos_decoder.h"
#include "line_clients.h"
#include "printer_session.h"
#include "state_commands.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;
using vp::PrinterState;

QByteArray bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// A source that keeps what the printer sends back.
class RecordingSource : public vp::ByteSource {
public:
    QString portName() const override { return QStringLiteral("recording"); }
    void reply(const QByteArray& answer) override {
        replies += answer.toStdString();
        ++writes;
    }
    std::string replies;
    int writes = 0;
};

// What a source says, in order: "open", "close", the bytes, and notices.
struct SourceLog {
    explicit SourceLog(vp::ByteSource& source) {
        QObject::connect(&source, &vp::ByteSource::opened, [this] { said.push_back("open"); });
        QObject::connect(&source, &vp::ByteSource::closed, [this] { said.push_back("close"); });
        QObject::connect(&source, &vp::ByteSource::bytesArrived, [this](const QByteArray& b) {
            received += b.toStdString();
            chunks.push_back(b.size());
        });
        QObject::connect(&source, &vp::ByteSource::notice,
                         [this](const QString& text) { notices.push_back(text.toStdString()); });
    }
    int count(const std::string& what) const {
        return static_cast<int>(std::count(said.begin(), said.end(), what));
    }
    std::vector<std::string> said, notices;
    std::string received;
    std::vector<qsizetype> chunks;
};

TEST(StateCommands, SetAndClearByName) {
    struct Case {
        const char* line;
        bool accepted;
        bool coverOpen, paperNearEnd, paperEnd, drawerOpen;
    };
    const Case cases[] = {
        {"set cover-open", true, true, false, false, false},
        {"  set   paper-end \r", true, false, false, true, false},
        {"set paper-near-end", true, false, true, false, false},
        {"set drawer-open", true, false, false, false, true},
        {"clear drawer-open", true, false, false, false, false},
        {"set lid", false, false, false, false, false},
        {"open cover-open", false, false, false, false, false},
        {"set", false, false, false, false, false},
        {"set cover-open,paper-end", false, false, false, false, false},
    };
    for (const Case& c : cases) {
        PrinterState state;
        const std::string problem = vp::applyStateCommand(c.line, state);
        EXPECT_EQ(problem.empty(), c.accepted) << c.line << ": " << problem;
        EXPECT_EQ(state.coverOpen, c.coverOpen) << c.line;
        EXPECT_EQ(state.paperNearEnd, c.paperNearEnd) << c.line;
        EXPECT_EQ(state.paperEnd, c.paperEnd) << c.line;
        EXPECT_EQ(state.drawerOpen, c.drawerOpen) << c.line;
    }
    PrinterState state;
    state.drawerOpen = true;
    EXPECT_EQ(vp::applyStateCommand("clear drawer-open", state), "");
    EXPECT_FALSE(state.drawerOpen);

    EXPECT_EQ(vp::setStateFlags("cover-open, paper-end", state), "");
    EXPECT_TRUE(state.coverOpen && state.paperEnd && !state.paperNearEnd);
    const std::string problem = vp::setStateFlags("paper-near-end,jammed", state);
    EXPECT_NE(problem.find("jammed"), std::string::npos) << problem;
    EXPECT_FALSE(state.paperNearEnd) << "a bad list changes nothing";
    EXPECT_EQ(vp::setStateFlags("", state), "");
}

TEST(StateCommands, SettingsByName) {
    using vp::PrinterSettings;
    struct Case {
        const char* list;
        bool accepted;
        std::string msw1;
        int width, density, speed, table;
    };
    const Case cases[] = {
        {"", true, "00000000", 6, 0, 5, 0},
        {"msw1=00100000, width=58,density=-6,speed=9,codetable=16", true, "00100000", 2, -6, 9, 16},
        {"width=80,density=8", true, "00000000", 6, 8, 5, 0},
        {"msw1=0010000", false, "00000000", 6, 0, 5, 0},
        {"msw1=00100002", false, "00000000", 6, 0, 5, 0},
        {"msw9=00100000", false, "00000000", 6, 0, 5, 0},
        {"width=76", false, "00000000", 6, 0, 5, 0},
        {"density=-7", false, "00000000", 6, 0, 5, 0},
        {"speed=0", false, "00000000", 6, 0, 5, 0},
        {"codetable=9", false, "00000000", 6, 0, 5, 0},  // no table 9
        {"msw1=00100000,speed", false, "00000000", 6, 0, 5, 0},
        {"colour=red", false, "00000000", 6, 0, 5, 0},
    };
    for (const Case& c : cases) {
        PrinterSettings settings;
        const std::string problem = vp::setSettings(c.list, settings);
        EXPECT_EQ(problem.empty(), c.accepted) << c.list << ": " << problem;
        EXPECT_EQ(settings.memorySwitches[0], c.msw1) << c.list;
        EXPECT_EQ(settings.customized[PrinterSettings::paperWidth], c.width) << c.list;
        EXPECT_EQ(settings.customized[PrinterSettings::printDensity], c.density) << c.list;
        EXPECT_EQ(settings.customized[PrinterSettings::printSpeed], c.speed) << c.list;
        EXPECT_EQ(settings.customized[PrinterSettings::codeTable], c.table) << c.list;
    }
    EXPECT_TRUE(vp::isResetCommand(" reset\r"));
    EXPECT_FALSE(vp::isResetCommand("reset now"));
}

// Whatever the decoder answers goes back on the line before the next byte is taken, so a
// client that sends DLE EOT 1 and waits for its byte is answered; a change of state answers
// too (automatic status back) once the decoder is asked for it.
TEST(PrinterSession, WritesRepliesBackAtOnce) {
    const std::string stream =
        bytesFromHex("1B 40 41 10 04 01 42 0A 1D 72 01 1D 49 43 1D 61 0F 10 04 02 10 04 04 43 0A");
    PrinterState faulty;
    faulty.coverOpen = faulty.drawerOpen = true;
    for (const PrinterState& start : {PrinterState{}, faulty}) {
        RecordingSource source;
        vp::PrinterSession session(vp::Paper::millimetres80());
        session.attach(source);
        session.setState(start);
        vp::RecordingSink referenceSink;
        vp::Decoder reference(vp::Paper::millimetres80(), referenceSink);
        reference.setState(start);
        std::string expected = referenceSink.takeReplies();
        for (char byte : stream) {
            session.bytesArrived(QByteArray(1, byte));
            reference.feed(std::string_view(&byte, 1));
            expected += referenceSink.takeReplies();
            ASSERT_EQ(vp::hexBytes(source.replies), vp::hexBytes(expected));
        }
        PrinterState next = start;
        next.paperEnd = !next.paperEnd;
        session.setState(next);
        reference.setState(next);
        expected += referenceSink.takeReplies();
        EXPECT_EQ(vp::hexBytes(source.replies), vp::hexBytes(expected));
    }
}

// What the printer answers to the requests of one chunk goes back in one write.
TEST(PrinterSession, WritesTheRepliesToOneChunkTogether) {
    RecordingSource source;
    vp::PrinterSession session(vp::Paper::millimetres80());
    session.attach(source);
    session.bytesArrived(bytes(bytesFromHex("10 04 01 10 04 04 41 10 04 02 1D 72 01 10 04 03")));
    EXPECT_EQ(source.writes, 1);
    EXPECT_EQ(source.replies.size(), 5u);
}

TEST(PrinterSession, ListsEachChangeOfState) {
    vp::PrinterSession session(vp::Paper::millimetres80());
    std::vector<std::string> events;
    std::vector<PrinterState> shown;
    session.onEvent = [&](const std::string& event) { events.push_back(event); };
    session.onStateChanged = [&](const PrinterState& state) { shown.push_back(state); };
    PrinterState state;
    state.coverOpen = state.paperEnd = true;
    session.setState(state);
    session.setState(state);  // no change, nothing listed
    state.paperEnd = false;
    state.model = "POS-80";
    session.setState(state);
    EXPECT_EQ(events, (std::vector<std::string>{"cover-open set", "paper-end set",
                                                "paper-end cleared", "model POS-80"}));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown.back(), state);
    EXPECT_EQ(session.state(), state);
}

TEST(PrinterSession, DrawerPulseOpensTheDrawerForAWhile) {
    vp::PrinterSession session(vp::Paper::millimetres80());
    session.setDrawerOpenMs(60);
    std::vector<std::string> events;
    session.onEvent = [&](const std::string& event) { events.push_back(event); };
    const QByteArray pulse = bytes(bytesFromHex("1B 70 00 80 80"));
    session.bytesArrived(pulse);
    EXPECT_TRUE(session.state().drawerOpen);
    QTRY_VERIFY_WITH_TIMEOUT(!session.state().drawerOpen, 1000);
    EXPECT_EQ(events, (std::vector<std::string>{"drawer-open set by a drawer pulse",
                                                "drawer-open cleared after 0.06 s"}));

    // Opened by hand, it stays open through a pulse.
    PrinterState open = session.state();
    open.drawerOpen = true;
    session.setState(open);
    session.bytesArrived(pulse);
    QTest::qWait(150);
    EXPECT_TRUE(session.state().drawerOpen);

    // Opened by a pulse, then shut and opened again by hand: it stays open.
    open.drawerOpen = false;
    session.setState(open);
    session.bytesArrived(pulse);
    ASSERT_TRUE(session.state().drawerOpen);
    for (bool byHand : {false, true}) {
        open.drawerOpen = byHand;
        session.setState(open);
    }
    QTest::qWait(150);
    EXPECT_TRUE(session.state().drawerOpen);
}

// A chunk of tiny receipts is decoded over several turns of the event loop, the source held
// meanwhile, so that a signal is never kept waiting long whatever the stream holds.
TEST(PrinterSession, DecodesInBoundedTurns) {
    RecordingSource source;
    vp::PrinterSession session(vp::Paper::millimetres80());
    session.attach(source);
    int receipts = 0;
    session.onReceipt = [&](const vp::Receipt&) {
        ++receipts;
        std::this_thread::sleep_for(500us);
    };
    std::string cuts;
    for (int i = 0; i < 2000; ++i) cuts += "\x1B\x69";
    QElapsedTimer call;
    call.start();
    session.bytesArrived(bytes(cuts));
    EXPECT_LT(call.elapsed(), 150);
    EXPECT_LT(receipts, 2000);
    EXPECT_FALSE(source.reading()) << "the source waits while received bytes remain";
    QTRY_COMPARE_WITH_TIMEOUT(receipts, 2000, 5000);
    EXPECT_TRUE(source.reading());
}

TEST(PrinterSession, AReceiptDoesNotEndWhileThePrinterCannotPrint) {
    vp::PrinterSession session(vp::Paper::millimetres80(), 50);
    int receipts = 0;
    session.onReceipt = [&](const vp::Receipt&) { ++receipts; };
    session.connectionOpened();
    session.bytesArrived(bytes("A\n"));
    PrinterState out;
    out.paperEnd = true;
    session.setState(out);
    session.connectionClosed();
    QTest::qWait(200);
    EXPECT_EQ(receipts, 0);
    session.setState(PrinterState{});
    QTRY_COMPARE_WITH_TIMEOUT(receipts, 1, 1000);
}

TEST(ByteSources, TerminalAnswersTheWriterAndHoldsItsBytes) {
    vp::PtySource source;
    SourceLog log(source);
    const std::string port = source.portName().toStdString();

    int writer = openTerminal(port);
    ASSERT_GE(writer, 0);
    QTRY_COMPARE(log.count("open"), 1);
    source.reply(QByteArray("\x12", 1));
    EXPECT_EQ(readFor(writer, 1, 1000ms), "\x12");

    // Not reading: the bytes wait in the terminal, and so does the end of the writing.
    source.setReading(false);
    ASSERT_TRUE(writeAll(writer, "held"));
    source.reply(QByteArray("\x16", 1));  // an answer the writer never reads
    close(writer);
    QTest::qWait(150);
    EXPECT_EQ(log.received, "");
    EXPECT_EQ(log.count("close"), 0);
    source.setReading(true);
    QTRY_COMPARE(log.count("close"), 1);
    EXPECT_EQ(log.received, "held");
    EXPECT_EQ(log.said, (std::vector<std::string>{"open", "close"}));

    // The next writer does not find the answer the last one left unread.
    writer = openTerminal(port);
    QTRY_COMPARE(log.count("open"), 2);
    EXPECT_EQ(readFor(writer, 1, 150ms), "");
    close(writer);
}

// One connection at a time: the next is not accepted, so not read, until the first ends; a
// silent one ends after the idle timeout, but not while the printer itself is not reading.
TEST(ByteSources, NetworkPortServesOneConnectionAtATime) {
    vp::TcpSource source(QHostAddress::LocalHost, 0, 250);
    SourceLog log(source);
    const int port = source.portName().section(QLatin1Char(':'), -1).toInt();

    const int first = connectToLoopback(port);
    QTRY_COMPARE(log.count("open"), 1);
    source.reply(QByteArray("\x12", 1));
    EXPECT_EQ(readFor(first, 1, 1000ms), "\x12");

    const int second = connectToLoopback(port);
    ASSERT_GE(second, 0) << "the kernel takes a waiting connection";
    ASSERT_TRUE(writeAll(second, "second"));
    ASSERT_TRUE(writeAll(first, "first "));
    QTRY_COMPARE(log.received, std::string("first "));
    source.setReading(false);
    QTest::qWait(400);
    EXPECT_EQ(log.count("close"), 0) << "time spent not reading is not the client's silence";
    source.setReading(true);

    QTRY_COMPARE_WITH_TIMEOUT(log.count("close"), 1, 1000);
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0].rfind("connection from 127.0.0.1:", 0), 0u) << log.notices[0];
    EXPECT_NE(log.notices[0].find("closed: silent for 0.25 s"), std::string::npos);
    EXPECT_EQ(readFor(first, 1, 500ms), "") << "the silent client was closed";
    QTRY_COMPARE(log.received, std::string("first second"));
    EXPECT_EQ(log.count("open"), 2);
    close(second);
    QTRY_COMPARE(log.count("close"), 2);
    close(first);
}

TEST(ByteSources, FileIsReadInChunksAsThePrinterTakesThem) {
    TempDir dir;
    std::string content(3 * vp::ByteSource::chunkBytes + 5, 'x');
    for (std::size_t i = 0; i < content.size(); i += 97) content[i] = '\n';
    writeFile(dir.path("capture.bin"), content);
    vp::FileSource source(QString::fromStdString(dir.path("capture.bin")));
    SourceLog log(source);
    bool finished = false;
    QObject::connect(&source, &vp::FileSource::finished, [&] { finished = true; });
    QObject::connect(&source, &vp::ByteSource::bytesArrived, [&] {
        if (log.chunks.size() == 1) source.setReading(false);
    });
    QTRY_COMPARE(log.chunks.size(), std::size_t(1));
    QTest::qWait(50);
    EXPECT_EQ(log.chunks.size(), 1u) << "nothing more is read while the printer holds";
    source.setReading(true);
    QTRY_VERIFY(finished);
    EXPECT_EQ(log.received, content);
    for (qsizetype size : log.chunks) EXPECT_LE(size, vp::ByteSource::chunkBytes);
    EXPECT_EQ(log.said, (std::vector<std::string>{"open", "close"}));
    EXPECT_THROW(vp::FileSource(QStringLiteral("/nonexistent/capture")), std::runtime_error);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
