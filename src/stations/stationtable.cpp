// The station table: Loran-C transmitters as comma-separated text.
//
// The file is a stream of fields consumed fifteen at a time, whatever the line
// structure (by convention one transmitter per line):
//    1 GRI [10 us]            6 latitude minutes      11 longitude seconds
//    2 (not used)             7 latitude seconds      12 E/W
//    3 letter                 8 N/S                   13 emission delay [us]
//    4 location name          9 longitude degrees     14 (not used)
//    5 latitude degrees      10 longitude minutes     15 power [kW]
// Fields 1, 2, 5, 6, 9 and 10 are integers, 7, 11, 13, 14 and 15 singles, the
// others text.
//   - Blanks and tabs before a field are skipped. A field ends at a comma, at a
//     line end (LF, CRLF or a lone CR) or at the end of the file; every line
//     end ends a field, so an empty line is one empty field.
//   - A field in double quotes may hold commas. It ends at the closing quote
//     (or at the line end when the quote is never closed); whatever follows
//     the quote up to the comma or line end is dropped.
//   - A numeric field also ends at a blank or tab: the blanks after it are
//     skipped, a comma or line end right after them closes the field, any
//     other character begins the next field ("36 30" are two fields).
//   - An unquoted text field keeps its inner blanks and the blanks before its
//     end, so "M " is not the letter M.
//   - Numbers are read from the start of the field (sign, digits, point,
//     fraction, exponent); no number reads as 0. Integer fields round halves
//     to even. Only the magnitudes of the position fields count: exactly "S"
//     (after upper-casing) makes a latitude southern, exactly "W" a longitude
//     western.
//   - A UTF-8 byte-order mark at the start of the file is skipped.
//   - A record whose GRI is 0 or negative is skipped. When the file ends
//     inside a record, that record is ignored, with one warning when any of
//     its fields holds text (trailing empty lines give none).
//   - Any other record whose number fields do not all hold a finite number
//     that fits their width (integers: 32 bits, singles: 3.4e38) is refused
//     with a fatal error naming the file and the line the record begins on.
#include "ground/errors.h"
#include "ground/ini.h"
#include "ground/numbers.h"
#include "ground/printable.h"
#include "stations/stationmodel.h"

#include <array>
#include <cctype>
#include <cmath>
#include <ostream>
#include <string_view>

namespace velkor {

namespace {

constexpr int kFieldsPerRecord = 15;

enum class Kind { Integer, Single, Text };

constexpr std::array<Kind, kFieldsPerRecord> kRecordLayout = {
    Kind::Integer, Kind::Integer, Kind::Text,   Kind::Text, Kind::Integer, Kind::Integer, Kind::Single, Kind::Text,
    Kind::Integer, Kind::Integer, Kind::Single, Kind::Text, Kind::Single,  Kind::Single,  Kind::Single};

std::string upperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Reads the fields of the table text one after the other.
class FieldReader {
public:
  explicit FieldReader(std::string_view text) : text_(text) {}

  bool atEnd() const { return at_ >= text_.size(); }

  std::size_t offset() const { return at_; } // [bytes] into the text

  // The next field; `present` is false when the file had ended before it.
  std::string next(Kind kind, bool& present) {
    skipBlanks();
    present = !atEnd();
    if (!present) return {};
    if (text_[at_] == '"') return quoted();
    std::size_t start = at_;
    if (kind == Kind::Text) {
      while (!atEnd() && text_[at_] != ',' && lineEndLength() == 0) ++at_;
      std::string field(text_.substr(start, at_ - start));
      closeField();
      return field;
    }
    while (!atEnd() && text_[at_] != ',' && text_[at_] != ' ' && text_[at_] != '\t' && lineEndLength() == 0) ++at_;
    std::string field(text_.substr(start, at_ - start));
    skipBlanks();
    closeField();
    return field;
  }

private:
  std::size_t lineEndLength() const {
    if (atEnd()) return 0;
    if (text_[at_] == '\n') return 1;
    if (text_[at_] == '\r') return at_ + 1 < text_.size() && text_[at_ + 1] == '\n' ? 2 : 1;
    return 0;
  }

  void skipBlanks() {
    while (!atEnd() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
  }

  // Consumes the comma or line end that ends the field, when it stands here.
  void closeField() {
    if (!atEnd() && text_[at_] == ',') ++at_;
    else at_ += lineEndLength();
  }

  std::string quoted() {
    std::size_t start = ++at_;
    while (!atEnd() && text_[at_] != '"' && lineEndLength() == 0) ++at_;
    std::string field(text_.substr(start, at_ - start));
    if (!atEnd() && text_[at_] == '"') ++at_;
    while (!atEnd() && text_[at_] != ',' && lineEndLength() == 0) ++at_;
    closeField();
    return field;
  }

  std::string_view text_;
  std::size_t at_ = 0; // [bytes] into the text
};

// Degrees, minutes and seconds to signed degrees; the signs of the fields
// themselves are never used.
double angle(int32_t degrees, int32_t minutes, float seconds, bool negative) {
  double value = std::fabs(static_cast<double>(degrees)) + std::fabs(static_cast<double>(minutes)) / 60 +
                 std::fabs(seconds) / 3600.0;
  return negative ? -value : value;
}

const char* const kFieldNames[kFieldsPerRecord] = {"GRI",
                                                   "field 2",
                                                   "letter",
                                                   "name",
                                                   "latitude degrees",
                                                   "latitude minutes",
                                                   "latitude seconds",
                                                   "N/S",
                                                   "longitude degrees",
                                                   "longitude minutes",
                                                   "longitude seconds",
                                                   "E/W",
                                                   "emission delay",
                                                   "field 14",
                                                   "power"};

// The line of a byte offset in the text, from 1 (LF, CRLF and a lone CR end a line).
int lineAt(std::string_view text, std::size_t offset) {
  int number = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i)
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++number;
  return number;
}

// A record's numbers must be finite and fit their width: a saturated or
// infinite one would carry on as a position or delay no station has.
void refuseBadNumbers(const std::string& fileName, std::string_view text, std::size_t start,
                      const std::array<std::string, kFieldsPerRecord>& field) {
  for (int i = 0; i < kFieldsPerRecord; ++i) {
    const double number = parseLeadingNumber(field[i]);
    bool fine = true;
    if (kRecordLayout[i] == Kind::Integer) fine = fitsInteger<int32_t>(number);
    if (kRecordLayout[i] == Kind::Single) fine = std::isfinite(toSingle(number));
    if (!fine)
      throw FatalError(printable(fileName) + ":" + std::to_string(lineAt(text, start)),
                       std::string(kFieldNames[i]) + " = " + printable(field[i]) +
                           ": must be a finite number within the range of the field");
  }
}

} // namespace

std::vector<TableRecord> readTableRecords(const std::string& fileName, std::ostream& warnings) {
  const std::string text = readWholeFile(fileName);
  const std::string_view content = withoutByteOrderMark(text);
  FieldReader reader(content);
  std::vector<TableRecord> records;
  while (!reader.atEnd()) {
    const std::size_t start = reader.offset(); // [bytes] where the record begins
    std::array<std::string, kFieldsPerRecord> field;
    int present = 0; // [fields] read before the end of the file
    bool anyText = false;
    for (int i = 0; i < kFieldsPerRecord; ++i) {
      bool there = false;
      field[i] = reader.next(kRecordLayout[i], there);
      if (!there) break;
      ++present;
      anyText = anyText || !field[i].empty();
    }
    if (present < kFieldsPerRecord) {
      if (anyText)
        warnings << "velkor: warning: " << printable(fileName) << ": the last record ends after " << present << " of "
                 << kFieldsPerRecord << " fields and is ignored\n";
      break;
    }
    auto integer = [&](int i) { return roundToInteger<int32_t>(parseLeadingNumber(field[i])); };
    auto single = [&](int i) { return toSingle(parseLeadingNumber(field[i])); };
    TableRecord record;
    record.gri = integer(0);
    if (record.gri <= 0) continue;
    refuseBadNumbers(fileName, content, start, field);
    record.letter = upperCase(field[2]);
    record.name = field[3];
    record.lat = angle(integer(4), integer(5), single(6), upperCase(field[7]) == "S");
    record.lon = angle(integer(8), integer(9), single(10), upperCase(field[11]) == "W");
    record.delay = single(12);
    record.power = single(14);
    records.push_back(std::move(record));
  }
  return records;
}

} // namespace velkor
