#include <gtest/gtest.h>

#include <functional>

#include "printed_items.h"
#include "printer_replies.h"

namespace {

using vp::PrinterState;

// The states a request is asked in: each flag alone, none and all.
PrinterState with(bool PrinterState::*flag) {
    PrinterState state;
    if (flag) state.*flag = true;
    return state;
}
PrinterState everything() {
    PrinterState state;
    state.coverOpen = state.paperNearEnd = state.paperEnd = state.drawerOpen = true;
    return state;
}

struct Request {
    const char* name;
    std::function<std::string(const PrinterState&)> answer;
    // In the states: none, cover open, paper near end, paper end, drawer open, all of them.
    const char* expected[6];
};

std::string hex(const std::string& bytes) {
    return vp::hexBytes(bytes);
}

TEST(PrinterReplies, EachRequestInEachState) {
    const PrinterState states[] = {with(nullptr),
                                   with(&PrinterState::coverOpen),
                                   with(&PrinterState::paperNearEnd),
                                   with(&PrinterState::paperEnd),
                                   with(&PrinterState::drawerOpen),
                                   everything()};
    auto realTime = [](int n) {
        return [n](const PrinterState& s) { return vp::realTimeStatus(n, s); };
    };
    auto transmitted = [](int n) {
        return [n](const PrinterState& s) { return vp::transmittedStatus(n, s); };
    };
    const Request requests[] = {
        // Offline with the cover open or out of paper; the drawer sensor in bit 2.
        {"DLE EOT 1", realTime(1), {"12", "1A", "12", "1A", "16", "1E"}},
        {"DLE EOT 2", realTime(2), {"12", "16", "12", "32", "12", "36"}},
        {"DLE EOT 3", realTime(3), {"12", "12", "12", "12", "12", "12"}},
        {"DLE EOT 4", realTime(4), {"12", "12", "1E", "72", "12", "7E"}},
        {"GS r 1", transmitted(1), {"00", "00", "03", "0C", "00", "0F"}},
        {"GS r 49", transmitted(49), {"00", "00", "03", "0C", "00", "0F"}},
        {"GS r 2", transmitted(2), {"00", "00", "00", "00", "01", "01"}},
        {"GS r 50", transmitted(50), {"00", "00", "00", "00", "01", "01"}},
        {"GS a",
         vp::automaticStatusBack,
         {"10 00 00 00", "38 00 00 00", "10 00 03 00", "18 00 0C 00", "14 00 00 00",
          "3C 00 0F 00"}},
    };
    for (const Request& request : requests)
        for (std::size_t i = 0; i < std::size(states); ++i)
            EXPECT_EQ(hex(request.answer(states[i])), request.expected[i])
                << request.name << " in state " << i;
}

TEST(PrinterReplies, IdentifiesThePrinter) {
    PrinterState state;
    state.model = "TM-T88V";
    const std::pair<int, std::string> ids[] = {
        {1, "20"},
        {49, "20"},
        {2, "03"},
        {50, "03"},
        {3, "01"},
        {51, "01"},
        {65, "5F 56 32 2E 30 31 00"},                          // "V2.01"
        {67, "5F 54 4D 2D 54 38 38 56 00"},                    // the model given
        {69, "5F 43 48 49 4E 41 20 47 42 31 38 30 33 30 00"},  // "CHINA GB18030"
    };
    for (const auto& [n, expected] : ids) EXPECT_EQ(hex(vp::printerId(n, state)), expected) << n;
    const std::string maker = vp::printerId(66, state), serial = vp::printerId(68, state);
    for (const std::string& text : {maker, serial}) {
        ASSERT_GE(text.size(), 3u);
        EXPECT_EQ(text.front(), '\x5F');
        EXPECT_EQ(text.back(), '\0');
        EXPECT_EQ(text.find('\0'), text.size() - 1);
    }
    // A GBK printer names itself in GBK; what GBK has no code for is sent as "?".
    const std::pair<std::string, std::string> models[] = {
        {"POS-80 测试", "5F 50 4F 53 2D 38 30 20 B2 E2 CA D4 00"},
        {"打印机😀X", "5F B4 F2 D3 A1 BB FA 3F 58 00"},
    };
    for (const auto& [model, expected] : models) {
        state.model = model;
        EXPECT_EQ(hex(vp::printerId(67, state)), expected) << model;
    }
    // The state does not change who the printer is.
    EXPECT_EQ(vp::printerId(2, everything()), vp::printerId(2, PrinterState{}));
}

TEST(PrinterReplies, SettingsCountersAndTheRomAsTheCommandReferenceFramesThem) {
    PrinterState state;
    state.settings.memorySwitches[0] = "00100000";
    state.settings.customized[vp::PrinterSettings::printDensity] = -2;
    state.rom = vp::CharacterRom::Gb2312;
    PrinterState gbk;
    gbk.rom = vp::CharacterRom::Gbk;
    const std::pair<std::string, std::string> answers[] = {
        {vp::userSettingModeNotice(), "37 20 00"},
        {vp::memorySwitchReply(1, state), "37 21 30 30 31 30 30 30 30 30 00"},
        {vp::memorySwitchReply(8, state), "37 21 30 30 30 30 30 30 30 30 00"},
        {vp::memorySwitchReply(9, state), ""},
        {vp::memorySwitchReply(0, state), ""},
        {vp::customizedValueReply(3, state), "37 27 33 1F 36 00"},              // 80 mm
        {vp::customizedValueReply(5, state), "37 27 35 1F 36 35 35 33 34 00"},  // -2
        {vp::customizedValueReply(6, state), "37 27 36 1F 35 00"},              // speed 5
        {vp::customizedValueReply(70, state), "37 27 37 30 1F 30 00"},          // PC437
        {vp::customizedValueReply(4, state), ""},
        {vp::maintenanceCounterReply(120), "5F 31 32 30 00"},
        {vp::maintenanceCounterReply(0), "5F 30 00"},
        {vp::maintenanceCounterReply(std::nullopt), ""},
        {vp::printerId(69, state), "5F 43 48 49 4E 41 20 47 42 32 33 31 32 00"},  // CHINA GB2312
        {vp::printerId(69, gbk), "5F 43 48 49 4E 41 20 47 42 4B 00"},             // CHINA GBK
    };
    for (std::size_t i = 0; i < std::size(answers); ++i)
        EXPECT_EQ(hex(answers[i].first), answers[i].second) << i;
}

TEST(PrinterReplies, RequestsOutOfRangeGetNoAnswer) {
    const PrinterState state = everything();
    for (int n : {0, 5, 49}) EXPECT_EQ(vp::realTimeStatus(n, state), "") << n;
    for (int n : {0, 3, 48, 51}) EXPECT_EQ(vp::transmittedStatus(n, state), "") << n;
    for (int n : {0, 4, 48, 52, 64, 70}) EXPECT_EQ(vp::printerId(n, state), "") << n;
}

// A host tells the kinds of bytes a printer sends apart by their fixed bits, whatever the
// state: DLE EOT answers are 0xx1xx10, the first byte of automatic status back 0xx1xx00, and
// every other byte 0xx0xxxx.
TEST(PrinterReplies, FixedBitsHoldInEveryState) {
    for (int flags = 0; flags < 16; ++flags) {
        PrinterState state;
        state.coverOpen = flags & 1;
        state.paperNearEnd = flags & 2;
        state.paperEnd = flags & 4;
        state.drawerOpen = flags & 8;
        auto byte = [](const std::string& bytes, std::size_t i) {
            return static_cast<unsigned>(static_cast<unsigned char>(bytes.at(i)));
        };
        for (int n = 1; n <= 4; ++n) EXPECT_EQ(byte(vp::realTimeStatus(n, state), 0) & 0x93, 0x12u);
        const std::string automatic = vp::automaticStatusBack(state);
        ASSERT_EQ(automatic.size(), 4u);
        EXPECT_EQ(byte(automatic, 0) & 0x93, 0x10u);
        for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(byte(automatic, i) & 0x90, 0u);
        for (int n : {1, 2}) EXPECT_EQ(byte(vp::transmittedStatus(n, state), 0) & 0x90, 0u);
        for (int n : {1, 2, 3}) EXPECT_EQ(byte(vp::printerId(n, state), 0) & 0x90, 0u);
    }
}

}  // namespace
