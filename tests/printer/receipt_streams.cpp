#include "receipt_streams.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <regex>
#include <sstream>

#include "contact_data.h"
#include "gbk.h"
#include "temp_files.h"

namespace {

const std::string bannerModes = bytesFromHex("1B 40 1B 21 2D 1C 21 38 1C 21 2D");
const std::string bodyModes = bytesFromHex("1C 21 01 1B 21 01");

// The deployer's values, as the expected streams name them.
const std::map<std::string, std::u8string_view> contactValues = {
    {"technicianMobile", contact::technicianMobile},
    {"technicianQq", contact::technicianQq},
    {"technicianWorkQq", contact::technicianWorkQq},
    {"technicianEmail", contact::technicianEmail},
    {"shopPhone", contact::shopPhone},
    {"shopSecondPhone", contact::shopSecondPhone},
    {"supportPhone", contact::supportPhone},
    {"fax", contact::fax},
    {"shopAddress", contact::shopAddress},
    {"businessPhone", contact::businessPhone},
    {"businessQq", contact::businessQq},
    {"businessEmail", contact::businessEmail},
    {"secondBusinessPhone", contact::secondBusinessPhone},
    {"secondBusinessQq", contact::secondBusinessQq},
    {"companySite", contact::companySite},
};

// One printed line of an expected text phase, without its CR LF: the bytes, -1 standing for any
// decimal digit, and the line as the data file spells it for people.
struct ExpectedLine {
    std::vector<int> bytes;
    std::string spelled;
};

// Reads tests/printer/data/<variant>_text_phase.hex: rows of hex bytes ending in 0D 0A, each
// after a comment row that spells it; "??" is any digit, "{name}" a contact value.
std::vector<ExpectedLine> expectedTextPhase(const std::string& variant) {
    std::istringstream rows(
        readFile(std::string(TEST_DATA_DIR) + "/" + variant + "_text_phase.hex"));
    std::vector<ExpectedLine> lines;
    std::string spelled;
    for (std::string row; std::getline(rows, row);) {
        if (row.rfind("# ", 0) == 0) {
            spelled = row.substr(2);
            continue;
        }
        ExpectedLine line{{}, spelled};
        std::istringstream tokens(row);
        for (std::string token; tokens >> token;) {
            if (token == "??") {
                line.bytes.push_back(-1);
            } else if (token.front() == '{') {
                const std::u8string_view value =
                    contactValues.at(token.substr(1, token.size() - 2));
                for (const char byte : toGbk(value))
                    line.bytes.push_back(static_cast<unsigned char>(byte));
            } else {
                line.bytes.push_back(std::stoi(token, nullptr, 16));
            }
        }
        EXPECT_GE(line.bytes.size(), 2u);
        EXPECT_EQ(line.bytes.back(), 0x0A) << spelled;
        EXPECT_EQ(line.bytes[line.bytes.size() - 2], 0x0D) << spelled;
        line.bytes.resize(line.bytes.size() - 2);
        lines.push_back(line);
    }
    return lines;
}

bool matches(const std::string& arrived, const std::vector<int>& expected) {
    if (arrived.size() != expected.size()) return false;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto byte = static_cast<unsigned char>(arrived[i]);
        if (expected[i] < 0 ? !std::isdigit(byte) : byte != expected[i]) return false;
    }
    return true;
}

// Splits a text phase into its lines, each of which must end in CR LF.
std::vector<std::string> crlfLines(std::string text) {
    std::vector<std::string> lines;
    for (std::size_t end; (end = text.find("\r\n")) != std::string::npos;) {
        lines.push_back(text.substr(0, end));
        text.erase(0, end + 2);
    }
    EXPECT_EQ(text, "") << "text after the last CR LF";
    return lines;
}

}  // namespace

const std::string closingFeeds = bytesFromHex("0A 0D 0A 0A 0D 0A");

const ReceiptStream receiptStreams[3] = {
    {"technician", TechnicianReceipt,
     bannerModes + bytesFromHex("CF AA BA CC D4 C6 E1 B6 D0 C5 CF A2 0A") + bodyModes},
    {"welcome", WelcomeReceipt,
     bannerModes + bytesFromHex("BB B6 D3 AD CA B9 D3 C3 0A") + bodyModes},
    {"brochure", BrochureReceipt,
     bannerModes + bytesFromHex("CF AA BA CC D4 C6 E1 B6 D0 C5 CF A2 0A") + bodyModes},
};

void expectTextPhase(const std::string& text, const ReceiptStream& receipt, std::time_t startedAt) {
    EXPECT_EQ(text.rfind("\xCA\xB1\xC6\xDA:", 0), 0u) << "no date line first";  // 时期:
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), closingFeeds.size())), closingFeeds);
    const std::vector<std::string> lines = crlfLines(text);
    const std::vector<ExpectedLine> expected = expectedTextPhase(receipt.name);
    EXPECT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size() && i < expected.size(); ++i) {
        EXPECT_TRUE(matches(lines[i], expected[i].bytes))
            << "line " << i << " should read \"" << expected[i].spelled << "\", arrived as \""
            << fromGbk(lines[i]) << '"';
    }

    // The date line's digits: today's date and a time of day just after the start.
    std::smatch stamp;
    const std::string dateLine = lines.empty() ? std::string() : fromGbk(lines[0]);
    const std::regex pattern("时期:(\\d{4})-(\\d{2})-(\\d{2}) 时间:(\\d{2}):(\\d{2}):(\\d{2})");
    if (std::regex_match(dateLine, stamp, pattern)) {
        std::tm local{};
        localtime_r(&startedAt, &local);
        EXPECT_EQ(std::stoi(stamp[1]), local.tm_year + 1900);
        EXPECT_EQ(std::stoi(stamp[2]), local.tm_mon + 1);
        const int printed =
            std::stoi(stamp[4]) * 3600 + std::stoi(stamp[5]) * 60 + std::stoi(stamp[6]);
        const int started = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
        EXPECT_LE((printed - started + 86400) % 86400, 5)
            << "time of day out of place: " << dateLine;
    } else {
        ADD_FAILURE() << "date line: " << dateLine;
    }
}

std::string expectReceipt(const std::string& arrived, const ReceiptStream& receipt,
                          std::time_t startedAt) {
    EXPECT_EQ(arrived.substr(0, receipt.bannerPhase.size()), receipt.bannerPhase);
    const std::size_t date = arrived.find("\xCA\xB1\xC6\xDA:");  // 时期:
    if (date == std::string::npos || date < receipt.bannerPhase.size()) {
        ADD_FAILURE() << "no date line after the banner";
        return {};
    }
    expectTextPhase(arrived.substr(date), receipt, startedAt);
    return arrived.substr(receipt.bannerPhase.size(), date - receipt.bannerPhase.size());
}
