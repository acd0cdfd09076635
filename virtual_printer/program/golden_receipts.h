#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "printed_items.h"
#include "receipt_renderer.h"

namespace vp {

// What changed from one transcript (JSON, as transcriptJson writes it) to another, a line
// per item: "item 4 (line at y 96): text "B", was "A"". Items are matched in order by what
// they hold, where they stand left aside, so that a line put in or left out is one
// difference, not one for each item below it.
std::vector<std::string> transcriptDifferences(const QByteArray& expected,
                                               const QByteArray& actual);

// Two pictures of a receipt laid over each other: paper white, dots black in both grey, dots
// only in `expected` (removed) red, dots only in `actual` (added) green.
struct PictureDifference {
    QImage picture;
    int removed = 0, added = 0;
    bool same() const { return removed == 0 && added == 0; }
};
PictureDifference comparePictures(const QImage& expected, const QImage& actual);

// Receipts held against golden ones, DIR/receipt-NNN.png and .json, numbered from 001 in the
// order they print. Each difference is one line to `report`, "receipt-NNN: " first; a
// receipt whose picture differs gets receipt-NNN.diff.png in the folder for differences,
// where also, when that is not the golden folder, its picture and transcripts as printed now
// go. Updating writes the golden files of the receipts that differ instead.
class GoldenReceipts {
public:
    GoldenReceipts(const QString& folder, const QString& differencesFolder, Paper paper,
                   bool update);

    void check(const Receipt& receipt);
    // Golden receipts after the last one printed are differences too (updating: removed).
    // Returns the exit status: 0 when everything matched (or was updated), else 1.
    int finish();

    std::function<void(const std::string&)> report;

private:
    QString path(const QString& folder, int number, const char* suffix) const;
    void say(int number, const std::string& text);

    QString folder_, differences_;
    ReceiptRenderer renderer_;
    bool update_;
    int count_ = 0;
    bool differed_ = false;
};

// Writes a receipt's picture and transcripts as PREFIX.png, .json and .txt; false, with the
// file named on standard error, when one cannot be written.
bool writeReceiptFiles(const QImage& picture, const Receipt& receipt, const QString& prefix);

}  // namespace vp
