#include "golden_receipts.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>

#include "transcript.h"

namespace vp {

namespace {

// A value as the transcript writes it, strings quoted.
std::string shown(const QJsonValue& value) {
    if (value.isString()) return jsonString(value.toString().toStdString());
    if (value.isBool()) return value.toBool() ? "true" : "false";
    if (value.isDouble()) return std::to_string(value.toInteger());
    if (value.isUndefined()) return "nothing";
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return document.toJson(QJsonDocument::Compact).toStdString();
}

// "runs[1].font "B", was "A"" for each value that differs, in the order of `actual`'s keys.
void changes(const QJsonValue& expected, const QJsonValue& actual, const std::string& path,
             std::vector<std::string>& out) {
    if (expected == actual) return;
    if (expected.isObject() && actual.isObject()) {
        const QJsonObject before = expected.toObject(), after = actual.toObject();
        QStringList keys = after.keys();
        for (const QString& key : before.keys())
            if (!after.contains(key)) keys << key;
        for (const QString& key : keys) {
            if (path.empty() && key == QLatin1String("y")) continue;
            const std::string name = (path.empty() ? "" : path + ".") + key.toStdString();
            changes(before.value(key), after.value(key), name, out);
        }
        return;
    }
    if (expected.isArray() && actual.isArray()) {
        const QJsonArray before = expected.toArray(), after = actual.toArray();
        for (qsizetype i = 0; i < std::max(before.size(), after.size()); ++i)
            changes(i < before.size() ? before[i] : QJsonValue(QJsonValue::Undefined),
                    i < after.size() ? after[i] : QJsonValue(QJsonValue::Undefined),
                    path + "[" + std::to_string(i) + "]", out);
        return;
    }
    out.push_back(path + " " + shown(actual) + ", was " + shown(expected));
}

// What an item is, for a line about it: `line "Total 58.50" at y 212`.
std::string described(const QJsonObject& item) {
    const QString type = item.value(QLatin1String("type")).toString();
    auto field = [&](const char* key) { return shown(item.value(QLatin1String(key))); };
    const QJsonValue data = item.contains(QLatin1String("data"))
                                ? item.value(QLatin1String("data"))
                                : item.value(QLatin1String("data_hex"));
    std::string what = type.toStdString();
    if (type == QLatin1String("line") || type == QLatin1String("event") ||
        type == QLatin1String("drawer") || type == QLatin1String("reply"))
        what += ' ' + field("text");
    else if (type == QLatin1String("feed"))
        what += " of " + field("height") + " dots";
    else if (type == QLatin1String("barcode"))
        what += " " + item.value(QLatin1String("symbology")).toString().toStdString() + " " +
                shown(data);
    else if (type == QLatin1String("symbol"))
        what = item.value(QLatin1String("symbology")).toString().toStdString() + " " + shown(data);
    else if (type == QLatin1String("picture"))
        what += " " + field("width") + "x" + field("height");
    else if (type == QLatin1String("cut"))
        what += item.value(QLatin1String("partial")).toBool() ? " partial" : " full";
    return what + " at y " + field("y");
}

// An item as it is matched: everything but where it stands.
QByteArray matchKey(QJsonObject item) {
    item.remove(QLatin1String("y"));
    return QJsonDocument(item).toJson(QJsonDocument::Compact);
}

// For each item of `after`, the index of the item of `before` it is matched with, or -1: the
// longest common sequence of equal items.
std::vector<qsizetype> matched(const std::vector<QByteArray>& before,
                               const std::vector<QByteArray>& after) {
    const std::size_t n = before.size(), m = after.size();
    std::vector<qsizetype> match(m, -1);
    // A receipt of tens of thousands of items is matched item by item, in linear time.
    if (n * m > (std::size_t(1) << 22)) {
        for (std::size_t j = 0; j < std::min(n, m); ++j)
            if (before[j] == after[j]) match[j] = static_cast<qsizetype>(j);
        return match;
    }
    std::vector<std::vector<int>> longest(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            longest[i][j] = before[i] == after[j] ? longest[i + 1][j + 1] + 1
                                                  : std::max(longest[i + 1][j], longest[i][j + 1]);
    for (std::size_t i = 0, j = 0; i < n && j < m;) {
        if (before[i] == after[j]) {
            match[j++] = static_cast<qsizetype>(i++);
        } else if (longest[i + 1][j] >= longest[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return match;
}

std::string item(qsizetype index) {
    return "item " + std::to_string(index + 1);
}

}  // namespace

std::vector<std::string> transcriptDifferences(const QByteArray& expected,
                                               const QByteArray& actual) {
    if (expected == actual) return {};
    QJsonParseError error;
    const QJsonDocument golden = QJsonDocument::fromJson(expected, &error);
    if (!golden.isObject())
        return {"the golden transcript is no JSON object: " + error.errorString().toStdString()};
    const QJsonDocument now = QJsonDocument::fromJson(actual);
    const int format = golden[QLatin1String("format")].toInt();
    if (format != transcriptFormat)
        return {"the golden transcript is of format " + std::to_string(format) +
                ", this program writes format " + std::to_string(transcriptFormat)};
    const QJsonArray before = golden[QLatin1String("items")].toArray();
    const QJsonArray after = now[QLatin1String("items")].toArray();
    std::vector<QByteArray> beforeKeys, afterKeys;
    for (const QJsonValue& value : before) beforeKeys.push_back(matchKey(value.toObject()));
    for (const QJsonValue& value : after) afterKeys.push_back(matchKey(value.toObject()));
    const std::vector<qsizetype> match = matched(beforeKeys, afterKeys);

    std::vector<std::string> lines;
    // Between two matched items, what was there and what is there now: paired in order while
    // of one type (a changed item), else left out and put in.
    auto unmatched = [&](qsizetype fromBefore, qsizetype toBefore, qsizetype fromAfter,
                         qsizetype toAfter) {
        qsizetype i = fromBefore, j = fromAfter;
        for (; i < toBefore && j < toAfter; ++i, ++j) {
            const QJsonObject was = before[i].toObject(), is = after[j].toObject();
            if (was.value(QLatin1String("type")) != is.value(QLatin1String("type"))) break;
            std::vector<std::string> what;
            changes(was, is, "", what);
            std::string line = item(j) + " (" + described(is) + "):";
            for (std::size_t k = 0; k < what.size() && k < 4; ++k)
                line += (k == 0 ? " " : "; ") + what[k];
            if (what.size() > 4) line += "; and " + std::to_string(what.size() - 4) + " more";
            lines.push_back(line);
        }
        for (; i < toBefore; ++i)
            lines.push_back("golden " + item(i) + " left out: " + described(before[i].toObject()));
        for (; j < toAfter; ++j)
            lines.push_back(item(j) + " put in: " + described(after[j].toObject()));
    };
    qsizetype lastBefore = 0, lastAfter = 0;
    for (qsizetype j = 0; j < after.size(); ++j) {
        if (match[static_cast<std::size_t>(j)] < 0) continue;
        unmatched(lastBefore, match[static_cast<std::size_t>(j)], lastAfter, j);
        lastBefore = match[static_cast<std::size_t>(j)] + 1;
        lastAfter = j + 1;
    }
    unmatched(lastBefore, before.size(), lastAfter, after.size());
    const int height = now[QLatin1String("height")].toInt();
    const int goldenHeight = golden[QLatin1String("height")].toInt();
    if (height != goldenHeight)
        lines.push_back("height " + std::to_string(height) + " dots, was " +
                        std::to_string(goldenHeight));
    return lines;
}

PictureDifference comparePictures(const QImage& expected, const QImage& actual) {
    const QImage before = expected.convertToFormat(QImage::Format_Grayscale8);
    const QImage after = actual.convertToFormat(QImage::Format_Grayscale8);
    PictureDifference difference;
    const int width = std::max(before.width(), after.width());
    const int height = std::max(before.height(), after.height());
    difference.picture = QImage(width, height, QImage::Format_RGB32);
    const QRgb paper = qRgb(255, 255, 255), kept = qRgb(170, 170, 170), removed = qRgb(230, 0, 0),
               added = qRgb(0, 180, 0);
    for (int y = 0; y < height; ++y) {
        const uchar* was = y < before.height() ? before.constScanLine(y) : nullptr;
        const uchar* is = y < after.height() ? after.constScanLine(y) : nullptr;
        auto* out = reinterpret_cast<QRgb*>(difference.picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const bool black = was && x < before.width() && was[x] < 128;
            const bool blackNow = is && x < after.width() && is[x] < 128;
            difference.removed += black && !blackNow;
            difference.added += blackNow && !black;
            out[x] = black ? (blackNow ? kept : removed) : (blackNow ? added : paper);
        }
    }
    return difference;
}

bool writeReceiptFiles(const QImage& picture, const Receipt& receipt, const QString& prefix) {
    bool written = savePicture(picture, prefix + QStringLiteral(".png"));
    if (!written) std::fprintf(stderr, "cannot write %s.png\n", qPrintable(prefix));
    for (const auto& [suffix, text] : {std::pair{".json", transcriptJson(receipt)},
                                       std::pair{".txt", transcriptText(receipt)}}) {
        QFile file(prefix + QLatin1String(suffix));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(text.data(), static_cast<qint64>(text.size())) !=
                static_cast<qint64>(text.size()) ||
            !file.flush()) {
            std::fprintf(stderr, "cannot write %s%s\n", qPrintable(prefix), suffix);
            written = false;
        }
    }
    return written;
}

GoldenReceipts::GoldenReceipts(const QString& folder, const QString& differencesFolder, Paper paper,
                               bool update)
    : folder_(folder), differences_(differencesFolder), renderer_(paper), update_(update) {}

QString GoldenReceipts::path(const QString& folder, int number, const char* suffix) const {
    return QStringLiteral("%1/receipt-%2%3")
        .arg(folder)
        .arg(number, 3, 10, QLatin1Char('0'))
        .arg(QLatin1String(suffix));
}

void GoldenReceipts::say(int number, const std::string& text) {
    differed_ = true;
    char name[32];
    std::snprintf(name, sizeof name, "receipt-%03d: ", number);
    if (report) report(name + text);
}

void GoldenReceipts::check(const Receipt& receipt) {
    const int number = ++count_;
    const QImage picture = renderer_.render(receipt);
    const std::string json = transcriptJson(receipt);
    const bool before = differed_;
    differed_ = false;

    QFile golden(path(folder_, number, ".json"));
    if (!golden.open(QIODevice::ReadOnly)) {
        say(number, "no golden receipt: " + path(folder_, number, ".json").toStdString() +
                        " cannot be read");
    } else {
        for (const std::string& line : transcriptDifferences(
                 golden.readAll(), QByteArray(json.data(), static_cast<qsizetype>(json.size()))))
            say(number, line);
    }
    const QString diffPath = path(differences_, number, ".diff.png");
    const QImage goldenPicture(path(folder_, number, ".png"));
    if (goldenPicture.isNull()) {
        say(number, "no golden picture: " + path(folder_, number, ".png").toStdString() +
                        " cannot be read");
    } else if (const PictureDifference difference = comparePictures(goldenPicture, picture);
               !difference.same() || goldenPicture.size() != picture.size()) {
        std::string line = "picture: " + std::to_string(difference.removed) +
                           (difference.removed == 1 ? " dot" : " dots") + " removed, " +
                           std::to_string(difference.added) + " added";
        if (goldenPicture.size() != picture.size())
            line += ", " + std::to_string(picture.width()) + "x" +
                    std::to_string(picture.height()) + " dots, was " +
                    std::to_string(goldenPicture.width()) + "x" +
                    std::to_string(goldenPicture.height());
        if (!update_) {
            QDir().mkpath(differences_);
            if (difference.picture.save(diffPath, "PNG", 89))
                line += ", shown in " + diffPath.toStdString();
            else
                std::fprintf(stderr, "cannot write %s\n", qPrintable(diffPath));
        }
        say(number, line);
    }
    const bool differs = differed_;
    differed_ = before || differs;
    // What a difference picture showed before is gone once the receipt matches again.
    if (!differs || update_) QFile::remove(diffPath);
    if (!differs) return;
    if (update_) {
        QDir().mkpath(folder_);
        writeReceiptFiles(picture, receipt, path(folder_, number, ""));
    } else if (QDir(differences_) != QDir(folder_)) {
        writeReceiptFiles(picture, receipt, path(differences_, number, ""));
    }
}

int GoldenReceipts::finish() {
    std::vector<int> beyond;
    const QStringList names = QDir(folder_).entryList(
        {QStringLiteral("receipt-*.json"), QStringLiteral("receipt-*.png")}, QDir::Files);
    for (const QString& name : names) {
        bool number = false;
        const int value = name.mid(8, name.indexOf(QLatin1Char('.')) - 8).toInt(&number);
        if (number && value > count_ && !name.endsWith(QLatin1String(".diff.png")) &&
            std::find(beyond.begin(), beyond.end(), value) == beyond.end())
            beyond.push_back(value);
    }
    std::sort(beyond.begin(), beyond.end());
    for (const int number : beyond) {
        say(number, "golden receipt not printed: the stream printed " + std::to_string(count_) +
                        (count_ == 1 ? " receipt" : " receipts"));
        if (update_)
            for (const char* suffix : {".png", ".json", ".txt", ".diff.png"})
                QFile::remove(path(folder_, number, suffix));
    }
    return differed_ && !update_ ? 1 : 0;
}

}  // namespace vp
