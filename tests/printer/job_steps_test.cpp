#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "device_commands.h"
#include "fake_host.h"
#include "job_steps.h"
#include "temp_files.h"

namespace {

const std::string chooseAPort = "请选取打印机所连接的端口！";

// The port check sees what the technician typed; only spaces are trimmed,
// and only for the check.
TEST(PortCheck, RefusesNoChoiceAndPassesAnythingElseUnchanged) {
    struct Case {
        std::string name;
        bool refused;
    };
    const Case cases[] = {
        {"", true},    {"   ", true},        {"选择端口", true}, {"  选择端口  ", true},
        {"\t", false}, {"选择端口1", false}, {" \t ", false},    {"/nowhere/x", false},
    };
    for (const Case& c : cases) {
        FakeHost host;
        host.port = c.name;
        EXPECT_EQ(PortCheck(host), !c.refused) << '"' << c.name << '"';
        if (c.refused) {
            ASSERT_EQ(host.boxes.size(), 1u);
            EXPECT_FALSE(host.boxes[0].critical);
            EXPECT_EQ(host.boxes[0].title, "提示！");
            EXPECT_EQ(host.boxes[0].text, chooseAPort);
        } else {
            EXPECT_TRUE(host.boxes.empty());
        }
    }
}

TEST(PortCheck, NameWithTabPassesTheCheckAndFailsAtOpen) {
    FakeHost host;
    host.port = " \t ";
    CutPaperJob(host);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].critical);
    EXPECT_EQ(host.boxes[0].title, "错误!");
    EXPECT_EQ(host.boxes[0].text, "出错提示:" + std::string(std::strerror(ENOENT)));
}

TEST(PortCheck, TrailingSpaceIsKeptWhenOpening) {
    TempDir dir;
    writeFile(dir.path("port "), "");
    writeFile(dir.path("port"), "");
    FakeHost host;
    host.port = dir.path("port ");
    CutPaperJob(host);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(readFile(dir.path("port ")), "\x1B\x69\x0A");
    EXPECT_EQ(readFile(dir.path("port")), "");
}

}  // namespace
